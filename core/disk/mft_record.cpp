// MFT record parsing. Every length read from the medium is checked against
// the bytes at hand before it is used, so a damaged record ends the walk
// instead of reading past it or looping.

#include <span>

#include "disk/free_space_map.hpp"
#include "disk/mft_record.hpp"

namespace tav {
namespace {

constexpr std::uint32_t kEndMarker = 0xFFFFFFFFu;
constexpr std::uint32_t kFileNameType = 48;
constexpr std::size_t kAttributeHeaderMin = 16;
// NTFS protects each 512 bytes of a record with the update sequence.
constexpr std::size_t kFixupStride = 512;

// Name namespaces that carry the long name: POSIX, Win32, Win32-and-DOS.
bool IsLongNameSpace(std::uint8_t space) {
    return space == 0 || space == 1 || space == 3;
}

// Little-endian integer of 1..8 bytes, sign-extended when asked.
std::int64_t LoadVarInt(const std::uint8_t* p, unsigned n, bool is_signed) {
    std::uint64_t v = 0;
    for (unsigned i = 0; i < n; ++i) v |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    if (is_signed && n < 8 && (p[n - 1] & 0x80)) v |= ~std::uint64_t{0} << (8 * n);
    return static_cast<std::int64_t>(v);
}

}  // namespace

bool ApplyFixup(std::span<std::uint8_t> record, std::uint16_t bytes_per_sector) {
    const ByteView view(record);
    if (!view.matches(0, "FILE")) return false;
    const auto usa_offset = view.le16(4);
    const auto count = view.le16(6);
    if (!usa_offset || !count) return false;
    if (*count < 2) return true;
    if (!view.has(*usa_offset, std::size_t{*count} * 2)) return false;
    std::size_t stride = bytes_per_sector;
    if ((*count - 1u) * kFixupStride == record.size()) stride = kFixupStride;
    // Each stride ends in a two-byte tail; a shorter one would put it before the record.
    if (stride < 2 || (*count - 1u) * stride > record.size()) return false;
    const std::uint8_t* seq = record.data() + *usa_offset;
    for (std::size_t i = 1; i < *count; ++i) {
        std::uint8_t* tail = record.data() + i * stride - 2;
        if (tail[0] != seq[0] || tail[1] != seq[1]) return false;
    }
    for (std::size_t i = 1; i < *count; ++i) {
        std::uint8_t* tail = record.data() + i * stride - 2;
        tail[0] = record[*usa_offset + 2 * i];
        tail[1] = record[*usa_offset + 2 * i + 1];
    }
    return true;
}

std::optional<ByteView> FindAttribute(ByteView record, std::uint32_t type, bool skip_dos_names) {
    std::size_t pos = 0;
    if (record.matches(0, "FILE")) {
        const auto first = record.le16(20);
        if (!first) return std::nullopt;
        pos = *first;
    }
    while (true) {
        const auto at_type = record.le32(pos);
        if (!at_type || *at_type == kEndMarker) return std::nullopt;
        const auto length = record.le32(pos + 4);
        // A length below a header (0 above all) would never advance the walk.
        if (!length || *length < kAttributeHeaderMin || !record.has(pos, *length))
            return std::nullopt;
        const ByteView attribute = record.sub(pos, *length);
        pos += *length;
        if (*at_type != type) continue;
        if (skip_dos_names && type == kFileNameType) {
            const auto value = ResidentValueOf(attribute);
            const auto space = value ? value->u8(65) : std::nullopt;
            if (!space || !IsLongNameSpace(*space)) continue;
        }
        return attribute;
    }
}

std::optional<ByteView> ResidentValueOf(ByteView attribute) {
    const auto non_resident = attribute.u8(8);
    const auto value_length = attribute.le32(16);
    const auto value_offset = attribute.le16(20);
    if (!non_resident || *non_resident != 0 || !value_length || !value_offset) return std::nullopt;
    if (!attribute.has(*value_offset, *value_length)) return std::nullopt;
    return attribute.sub(*value_offset, *value_length);
}

std::optional<ByteView> FileNameOf(ByteView attribute) {
    const auto value = ResidentValueOf(attribute);
    if (!value) return std::nullopt;
    const auto chars = value->u8(64);
    if (!chars || !value->has(66, std::size_t{*chars} * 2)) return std::nullopt;
    return value->sub(66, std::size_t{*chars} * 2);
}

std::optional<ByteView> RunListOf(ByteView attribute) {
    const auto non_resident = attribute.u8(8);
    const auto runs_offset = attribute.le16(32);
    if (!non_resident || *non_resident != 1 || !runs_offset) return std::nullopt;
    if (*runs_offset >= attribute.size()) return std::nullopt;
    return attribute.sub(*runs_offset);
}

std::optional<std::uint32_t> MftRecordSize(std::uint16_t record_code,
                                           std::uint32_t bytes_per_cluster) {
    const auto code = static_cast<std::int8_t>(record_code & 0xFF);
    std::uint64_t size = 0;
    if (code < 0) {
        const int shift = -code;
        if (shift > 16) return std::nullopt;
        size = std::uint64_t{1} << shift;
    } else {
        size = static_cast<std::uint64_t>(code) * bytes_per_cluster;
    }
    if (size < 256 || size > 65536) return std::nullopt;
    return static_cast<std::uint32_t>(size);
}

std::optional<std::vector<DataRun>> DecodeRunList(ByteView runs, std::int64_t max_clusters) {
    std::vector<DataRun> out;
    std::int64_t lcn = 0;
    std::size_t pos = 0;
    while (true) {
        const auto header = runs.u8(pos);
        if (!header) return std::nullopt;  // the list ran off its attribute
        if (*header == 0) break;
        const unsigned length_bytes = *header & 0x0F;
        const unsigned offset_bytes = *header >> 4;
        if (length_bytes == 0 || length_bytes > 8 || offset_bytes > 8) return std::nullopt;
        if (offset_bytes == 0) return std::nullopt;  // sparse: no clusters on disk
        if (!runs.has(pos + 1, length_bytes + offset_bytes)) return std::nullopt;
        const std::uint8_t* p = runs.data() + pos + 1;
        const std::int64_t clusters = LoadVarInt(p, length_bytes, false);
        const std::int64_t delta = LoadVarInt(p + length_bytes, offset_bytes, true);
        if (clusters <= 0 || clusters > max_clusters) return std::nullopt;
        if ((delta > 0 && lcn > max_clusters - delta) || lcn + delta < 0) return std::nullopt;
        lcn += delta;
        if (lcn > max_clusters - clusters) return std::nullopt;
        out.push_back({lcn, clusters});
        pos += 1 + length_bytes + offset_bytes;
    }
    if (out.empty()) return std::nullopt;
    return out;
}

}  // namespace tav

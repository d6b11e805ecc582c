#include "cardgen/ntfs_layout.hpp"

namespace tav::cardgen {

std::optional<NtfsGeometry> ParseNtfsBootSector(ByteView s) {
    if (!s.matches(3, "NTFS    ")) return std::nullopt;
    const auto bps = s.le16(11);
    const auto spc = s.u8(13);
    const auto total_sectors = s.le64(40);
    const auto mft_cluster = s.le64(48);
    const auto per_record = s.u8(64);
    if (!bps || !spc || !total_sectors || !mft_cluster || !per_record) return std::nullopt;
    if (*bps < 512 || *bps > 4096 || *spc == 0 || *spc > 128) return std::nullopt;
    NtfsGeometry g;
    g.bytes_per_sector = *bps;
    g.bytes_per_cluster = std::uint32_t{*bps} * *spc;
    g.total_clusters = static_cast<std::int64_t>(*total_sectors / *spc);
    if (*mft_cluster > static_cast<std::uint64_t>(g.total_clusters)) return std::nullopt;
    g.mft_offset = static_cast<std::int64_t>(*mft_cluster) * g.bytes_per_cluster;
    const auto signed_count = static_cast<std::int8_t>(*per_record);
    if (signed_count < 0) {
        if (signed_count < -20) return std::nullopt;
        g.record_size = 1u << -signed_count;
    } else {
        g.record_size = static_cast<std::uint32_t>(signed_count) * g.bytes_per_cluster;
    }
    if (g.record_size < 512 || g.record_size > 65536) return std::nullopt;
    return g;
}

bool ApplyFixups(std::span<std::uint8_t> record, std::uint32_t bytes_per_sector) {
    const ByteView v(record);
    if (!v.matches(0, "FILE")) return false;
    const auto usa_offset = v.le16(4), usa_count = v.le16(6);
    if (!usa_offset || !usa_count || *usa_count == 0) return false;
    if (std::size_t{*usa_count - 1u} * bytes_per_sector > record.size()) return false;
    if (!v.has(*usa_offset, std::size_t{*usa_count} * 2)) return false;
    const std::uint16_t check = *v.le16(*usa_offset);
    for (std::uint16_t i = 1; i < *usa_count; ++i) {
        const std::size_t end = std::size_t{i} * bytes_per_sector - 2;
        if (*v.le16(end) != check) return false;
        record[end] = record[*usa_offset + 2 * i];
        record[end + 1] = record[*usa_offset + 2 * i + 1];
    }
    return true;
}

std::optional<std::vector<ClusterRun>> ParseDataRuns(ByteView runs) {
    std::vector<ClusterRun> out;
    std::int64_t lcn = 0;
    for (std::size_t p = 0;;) {
        const auto header = runs.u8(p);
        if (!header) return std::nullopt;
        if (*header == 0) return out;
        const unsigned len_bytes = *header & 0x0F, off_bytes = *header >> 4;
        if (len_bytes == 0 || len_bytes > 8 || off_bytes > 8 ||
            !runs.has(p + 1, len_bytes + off_bytes))
            return std::nullopt;
        std::int64_t length = 0, delta = 0;
        for (unsigned i = 0; i < len_bytes; ++i)
            length |= static_cast<std::int64_t>(runs.data()[p + 1 + i]) << (8 * i);
        for (unsigned i = 0; i < off_bytes; ++i)
            delta |= static_cast<std::int64_t>(runs.data()[p + 1 + len_bytes + i]) << (8 * i);
        if (off_bytes > 0 && off_bytes < 8 && (delta >> (8 * off_bytes - 1)) & 1)
            delta -= std::int64_t{1} << (8 * off_bytes);  // sign-extend
        if (length <= 0) return std::nullopt;
        if (off_bytes == 0) return std::nullopt;  // sparse runs do not occur in $Bitmap
        lcn += delta;
        if (lcn < 0) return std::nullopt;
        out.push_back({lcn, length});
        p += 1 + len_bytes + off_bytes;
    }
}

std::optional<NonResidentData> ParseDataAttribute(ByteView record) {
    const auto first = record.le16(20);
    if (!first) return std::nullopt;
    for (std::size_t p = *first;;) {
        const auto type = record.le32(p), length = record.le32(p + 4);
        if (!type || *type == 0xFFFFFFFFu || !length || *length < 16 || !record.has(p, *length))
            return std::nullopt;
        const ByteView attr = record.sub(p, *length);
        if (*type == 0x80 && attr.u8(8) == 1 && attr.u8(9) == 0) {  // non-resident, unnamed
            const auto runs_at = attr.le16(32);
            const auto size = attr.le64(48);
            if (!runs_at || !size) return std::nullopt;
            auto runs = ParseDataRuns(attr.sub(*runs_at));
            if (!runs) return std::nullopt;
            return NonResidentData{std::move(*runs), static_cast<std::int64_t>(*size)};
        }
        p += *length;
    }
}

}  // namespace tav::cardgen

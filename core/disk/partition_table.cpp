#include "disk/partition_table.hpp"

#include <algorithm>
#include <array>
#include <limits>

#include "common/byte_view.hpp"
#include "disk/measure.hpp"

namespace tav {
namespace {

constexpr std::uint8_t kGptProtective = 0xEE;
constexpr int kMostLogicals = 128;               // an EBR chain longer than this is damaged
constexpr std::uint32_t kMostGptEntries = 1024;  // the usual table has 128
constexpr std::size_t kBlock = 4096;

bool IsExtended(std::uint8_t type) {
    return type == 0x05 || type == 0x0F || type == 0x85;
}

std::vector<std::uint8_t> ReadBytes(const SourceReader& disk, std::int64_t offset,
                                    std::size_t bytes) {
    std::vector<std::uint8_t> out(bytes);
    const ReadReport r = disk.read_at(offset, out);
    if (r.bytes < bytes) out.clear();
    return out;
}

// An entry clipped to the disk; nothing when it starts outside.
std::optional<PartitionEntry> Entry(int number, std::int64_t first, std::int64_t count,
                                    std::int64_t unit, std::int64_t disk_size, std::uint8_t type) {
    if (first <= 0 || count <= 0) return std::nullopt;
    if (first > disk_size / unit) return std::nullopt;
    const std::int64_t offset = first * unit;
    const std::int64_t length = std::min(count, (disk_size - offset) / unit) * unit;
    if (length <= 0) return std::nullopt;
    return PartitionEntry{number, offset, length, type};
}

void ReadLogicals(const SourceReader& disk, std::int64_t ext_first, std::int64_t unit,
                  std::int64_t disk_size, std::vector<PartitionEntry>& out) {
    std::int64_t ebr = ext_first;
    int number = 5;
    for (int k = 0; k < kMostLogicals && ebr > 0 && ebr < disk_size / unit; ++k) {
        const auto sector = ReadBytes(disk, ebr * unit, 512);
        const auto slots = sector.empty() ? std::nullopt : ParseMbrSlots(sector);
        if (!slots) return;
        const MbrSlot& data = (*slots)[0];
        if (data.type != 0 && !IsExtended(data.type))
            if (auto e =
                    Entry(number, ebr + data.first_lba, data.sectors, unit, disk_size, data.type)) {
                out.push_back(*e);
                ++number;
            }
        const MbrSlot& next = (*slots)[1];
        if (!IsExtended(next.type) || next.first_lba == 0) return;
        const std::int64_t following = ext_first + next.first_lba;
        if (following <= ebr) return;  // chains only run forward: no loops
        ebr = following;
    }
}

std::vector<PartitionEntry> MbrEntries(const SourceReader& disk, const std::vector<MbrSlot>& slots,
                                       std::int64_t unit, std::int64_t disk_size) {
    std::vector<PartitionEntry> out;
    for (std::size_t k = 0; k < slots.size(); ++k) {
        const MbrSlot& s = slots[k];
        if (s.type == 0) continue;
        if (IsExtended(s.type)) {
            ReadLogicals(disk, s.first_lba, unit, disk_size, out);
            continue;
        }
        if (auto e =
                Entry(static_cast<int>(k) + 1, s.first_lba, s.sectors, unit, disk_size, s.type))
            out.push_back(*e);
    }
    std::ranges::sort(out, {}, &PartitionEntry::number);
    return out;
}

std::vector<PartitionEntry> GptEntries(const SourceReader& disk, const GptHeader& h,
                                       std::int64_t unit, std::int64_t disk_size) {
    std::vector<PartitionEntry> out;
    if (h.entries_lba <= 0 || h.entries_lba > disk_size / unit) return out;
    const auto table =
        ReadBytes(disk, h.entries_lba * unit, std::size_t{h.entry_count} * h.entry_bytes);
    const ByteView view(table);
    for (std::uint32_t k = 0; k < h.entry_count && !table.empty(); ++k) {
        const std::size_t at = std::size_t{k} * h.entry_bytes;
        const bool used = std::any_of(table.begin() + static_cast<std::ptrdiff_t>(at),
                                      table.begin() + static_cast<std::ptrdiff_t>(at + 16),
                                      [](std::uint8_t b) { return b != 0; });
        const auto first = view.le64(at + 32);
        const auto last = view.le64(at + 40);
        if (!used || !first || !last || *last < *first ||
            *first > static_cast<std::uint64_t>(disk_size / unit))
            continue;
        if (auto e = Entry(static_cast<int>(k) + 1, static_cast<std::int64_t>(*first),
                           static_cast<std::int64_t>(*last - *first + 1), unit, disk_size, 0))
            out.push_back(*e);
    }
    return out;
}

bool HoldsFileSystem(const SourceReader& disk, std::int64_t offset) {
    const auto sector = ReadBytes(disk, offset, 512);
    return !sector.empty() && ParseBootSector(sector).has_value();
}

// An image does not tell its sector size: a table whose first partition
// holds a file system at LBA x 4096 but not at LBA x 512 was written by a
// 4096-byte-sector card.
std::int64_t MbrUnit(const SourceReader& disk, const std::vector<MbrSlot>& slots) {
    const std::int64_t device_unit = disk.sector_bytes();
    if (device_unit != 512) return device_unit;
    for (const MbrSlot& s : slots) {
        if (s.type == 0 || IsExtended(s.type) || s.first_lba == 0) continue;
        if (HoldsFileSystem(disk, std::int64_t{s.first_lba} * 512)) return 512;
        if (HoldsFileSystem(disk, std::int64_t{s.first_lba} * 4096)) return 4096;
    }
    return 512;
}

}  // namespace

std::optional<std::vector<MbrSlot>> ParseMbrSlots(std::span<const std::uint8_t> sector) {
    const ByteView b(sector);
    if (b.u8(510) != 0x55 || b.u8(511) != 0xAA) return std::nullopt;
    std::vector<MbrSlot> slots;
    for (std::size_t k = 0; k < 4; ++k) {
        const std::size_t at = 446 + 16 * k;
        const std::uint8_t status = b.u8(at).value_or(0xFF);
        if (status != 0x00 && status != 0x80) return std::nullopt;
        slots.push_back(
            {b.u8(at + 4).value_or(0), b.le32(at + 8).value_or(0), b.le32(at + 12).value_or(0)});
    }
    return slots;
}

std::optional<GptHeader> ParseGptHeader(std::span<const std::uint8_t> sector) {
    const ByteView b(sector);
    if (!b.matches(0, "EFI PART")) return std::nullopt;
    const auto lba = b.le64(0x48);
    const auto count = b.le32(0x50);
    const auto bytes = b.le32(0x54);
    if (!lba || !count || !bytes) return std::nullopt;
    if (*bytes < 128 || *bytes > 4096 || *bytes % 8 != 0 || *count == 0 ||
        *count > kMostGptEntries ||
        *lba > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() / 4096))
        return std::nullopt;
    return GptHeader{static_cast<std::int64_t>(*lba), *count, *bytes};
}

std::vector<PartitionEntry> ReadPartitionTable(const SourceReader& disk) {
    const std::int64_t disk_size = disk.size();
    if (disk_size < 1024) return {};
    const auto block = ReadBytes(disk, 0, kBlock);
    if (block.empty() || ParseBootSector(std::span(block).first(512))) return {};
    const auto slots = ParseMbrSlots(std::span(block).first(512));
    if (!slots) return {};
    const bool protective =
        std::ranges::any_of(*slots, [](const MbrSlot& s) { return s.type == kGptProtective; });
    if (protective) {
        for (const std::int64_t unit : {std::int64_t{512}, std::int64_t{4096}}) {
            const auto header = ReadBytes(disk, unit, 512);
            if (auto h = header.empty() ? std::nullopt : ParseGptHeader(header))
                return GptEntries(disk, *h, unit, disk_size);
        }
        return {};
    }
    return MbrEntries(disk, *slots, MbrUnit(disk, *slots), disk_size);
}

}  // namespace tav

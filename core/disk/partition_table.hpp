#pragma once
// The partition table of a whole disk or whole-card image (MBR with its
// logical partitions, or GPT), read so that one partition can be scanned
// as a volume.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/source_reader.hpp"

namespace tav {

struct PartitionEntry {
    int number = 0;             // as the system numbers them: sdb1, loop0p1; MBR logicals from 5
    std::int64_t offset = 0;    // bytes from the start of the disk
    std::int64_t length = 0;    // bytes, clipped to the disk
    std::uint8_t mbr_type = 0;  // 0 on GPT
    bool operator==(const PartitionEntry&) const = default;
};

// One MBR or EBR slot, pure. Empty, extended and GPT-protective slots are
// told apart by the caller through mbr_type.
struct MbrSlot {
    std::uint8_t type = 0;
    std::uint32_t first_lba = 0;
    std::uint32_t sectors = 0;
};
// The four slots of a sector ending in 55 AA whose status bytes are 0x00 or
// 0x80; nothing otherwise.
std::optional<std::vector<MbrSlot>> ParseMbrSlots(std::span<const std::uint8_t> sector);

// Where the GPT's entries lie, from its header sector ("EFI PART"), pure.
struct GptHeader {
    std::int64_t entries_lba = 0;
    std::uint32_t entry_count = 0;
    std::uint32_t entry_bytes = 0;
};
std::optional<GptHeader> ParseGptHeader(std::span<const std::uint8_t> sector);

// The partitions of the disk in number order; empty when sector 0 holds no
// partition table (a file system written to the whole card, or nothing).
// The table's sector unit is the device's logical sector; an image tells
// none, so 4096 is taken when the table only makes sense in that unit.
std::vector<PartitionEntry> ReadPartitionTable(const SourceReader& disk);

}  // namespace tav

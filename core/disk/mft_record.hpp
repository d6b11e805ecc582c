#pragma once
// Pieces of NTFS MFT records, pure and bounds-checked: the record size code
// of the boot sector, data-run lists and the attribute fields read from them.
// ApplyFixup and FindAttribute are declared in free_space_map.hpp.

#include <cstdint>
#include <optional>
#include <vector>

#include "common/byte_view.hpp"

namespace tav {

// One run of a non-resident attribute, in clusters.
struct DataRun {
    std::int64_t lcn = 0;
    std::int64_t clusters = 0;
    bool operator==(const DataRun&) const = default;
};

// Bytes of one MFT record from the boot sector's code (offset 0x40): a
// negative signed byte -n means 2^n bytes, a positive one that many clusters.
// Nothing for sizes outside 256..65536 bytes.
std::optional<std::uint32_t> MftRecordSize(std::uint16_t record_code,
                                           std::uint32_t bytes_per_cluster);

// Decodes a data-run list. Offsets are signed and relative to the previous
// run's LCN. Fails on a run that leaves the list's bytes, a sparse run, a
// negative LCN or a run ending past max_clusters.
std::optional<std::vector<DataRun>> DecodeRunList(ByteView runs, std::int64_t max_clusters);

// The run list of a non-resident attribute (from its run-list offset to its
// end); nothing for a resident attribute or a malformed header.
std::optional<ByteView> RunListOf(ByteView attribute);

// The UTF-16LE name of a resident file-name attribute, as raw bytes.
std::optional<ByteView> FileNameOf(ByteView attribute);

// The value of a resident attribute.
std::optional<ByteView> ResidentValueOf(ByteView attribute);

}  // namespace tav

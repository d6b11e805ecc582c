#pragma once
// Just enough NTFS to find the $Bitmap on a freshly made volume: the boot
// sector's geometry, MFT record fix-ups and non-resident data runs. Pure
// parsers over bytes; every read is bounds-checked.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/byte_view.hpp"

namespace tav::cardgen {

struct NtfsGeometry {
    std::uint32_t bytes_per_sector = 0;
    std::uint32_t bytes_per_cluster = 0;
    std::int64_t total_clusters = 0;
    std::int64_t mft_offset = 0;  // bytes from the volume start
    std::uint32_t record_size = 0;
};

struct ClusterRun {
    std::int64_t first_cluster = 0;
    std::int64_t clusters = 0;
};

std::optional<NtfsGeometry> ParseNtfsBootSector(ByteView sector);

// Restores the sector ends of an MFT record from its update sequence array.
bool ApplyFixups(std::span<std::uint8_t> record, std::uint32_t bytes_per_sector);

// Data runs of the unnamed non-resident $DATA attribute of a fixed-up MFT
// record, and the attribute's data size in bytes.
struct NonResidentData {
    std::vector<ClusterRun> runs;
    std::int64_t size = 0;
};
std::optional<NonResidentData> ParseDataAttribute(ByteView record);

std::optional<std::vector<ClusterRun>> ParseDataRuns(ByteView runs);

}  // namespace tav::cardgen

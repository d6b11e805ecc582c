// Measuring a volume from its first bytes: the boot-sector parse, the same
// parse through MeasureVolume, and then what the scan does with the result:
// locating the FAT, the exFAT allocation bitmap or the NTFS $Bitmap (read
// from the input) and
// loading use windows of it.
//
// Input: the start of a volume image.

#include <array>
#include <bit>
#include <cstdint>
#include <span>

#include "disk/free_space_map.hpp"
#include "disk/measure.hpp"
#include "fuzz_support.hpp"
#include "platform/source_reader.hpp"

namespace {

using tav::FreeSpaceRegion;
using tav::TDiskInfo;

void CheckGeometry(const TDiskInfo& info) {
    TAV_FUZZ_CHECK(info.BytesPerSector >= 512 && info.BytesPerSector <= 4096);
    TAV_FUZZ_CHECK(std::has_single_bit(info.BytesPerSector));
    TAV_FUZZ_CHECK(info.SectorsPerCluster > 0 && std::has_single_bit(info.SectorsPerCluster));
    TAV_FUZZ_CHECK(info.BytesPerCluster == info.BytesPerSector * info.SectorsPerCluster);
    TAV_FUZZ_CHECK(info.TotalSectors > 0);
    TAV_FUZZ_CHECK(info.VolumeBytes / info.BytesPerSector == info.TotalSectors);
    TAV_FUZZ_CHECK(info.StartSector >= 0 && info.StartSector < info.EndSector);
    // exFAT's range ends with its cluster heap.
    TAV_FUZZ_CHECK(info.FileSystem == "exFAT" ? info.EndSector <= info.TotalSectors
                                              : info.EndSector == info.TotalSectors);
    TAV_FUZZ_CHECK(info.MftStartSector >= 0);
    if (info.FileSystem != "NTFS") {
        TAV_FUZZ_CHECK(info.FatStartSector > 0 && info.FatSectors > 0);
        TAV_FUZZ_CHECK(info.FatStartSector + info.FatSectors <= info.DataStartSector);
    }
}

// The map's runs follow each other in map order and lie inside the volume.
void CheckRegion(const FreeSpaceRegion& region, const TDiskInfo& info) {
    if (region.empty()) return;
    TAV_FUZZ_CHECK(!region.extents.empty());
    TAV_FUZZ_CHECK(region.offset == region.extents.front().volume_offset);
    std::int64_t map_offset = 0;
    for (const auto& e : region.extents) {
        TAV_FUZZ_CHECK(e.map_offset == map_offset);
        TAV_FUZZ_CHECK(e.length > 0 && e.volume_offset >= 0);
        TAV_FUZZ_CHECK(e.volume_offset <= info.VolumeBytes - e.length);
        TAV_FUZZ_CHECK(e.length <= INT64_MAX - map_offset);
        map_offset += e.length;
    }
    TAV_FUZZ_CHECK(region.length == map_offset);
}

void CheckWindow(const tav::SourceReader& source, const FreeSpaceRegion& region,
                 const TDiskInfo& info, std::int64_t sector) {
    const auto window = tav::LoadUseWindow(source, region, info, sector);
    if (region.empty() || sector < 0 || sector >= info.TotalSectors) {
        TAV_FUZZ_CHECK(!window.loaded);
        return;
    }
    TAV_FUZZ_CHECK(window.loaded);
    const bool ntfs = info.FileSystem == "NTFS";
    const auto clusters =
        ntfs || info.FileSystem == "exFAT" ? tav::kNtfsWindowClusters : tav::kFat32WindowClusters;
    TAV_FUZZ_CHECK(window.entries.size() == static_cast<std::size_t>(clusters));
    for (const std::uint8_t e : window.entries) TAV_FUZZ_CHECK(e <= 1);
    if (ntfs) {
        TAV_FUZZ_CHECK(window.first_cluster % 8 == 0);
        TAV_FUZZ_CHECK(window.first_cluster <= sector / info.SectorsPerCluster);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const auto parsed = tav::ParseBootSector(bytes);
    const std::string& path = tav::fuzz::InputFile().hold(data, size);
    const auto measured = tav::MeasureVolume(path);
    // MeasureVolume reads the same sector 0 and must come to the same answer.
    TAV_FUZZ_CHECK(parsed.has_value() == measured.has_value());
    if (!parsed) return 0;
    TAV_FUZZ_CHECK(*parsed == *measured);
    const TDiskInfo& info = *parsed;
    CheckGeometry(info);

    auto source = tav::SourceReader::open(path);
    TAV_FUZZ_CHECK(source.has_value());
    const bool fat_found = tav::LocateFat(*source, info);
    TAV_FUZZ_CHECK(!fat_found || tav::IsFatFamily(info));
    const FreeSpaceRegion region = info.FileSystem == "NTFS" ? tav::LocateBitmap(*source, info)
                                   : info.FileSystem == "exFAT"
                                       ? tav::LocateExfatBitmap(*source, info)
                                       : tav::FatRegion(info);
    TAV_FUZZ_CHECK(tav::IsFatFamily(info) || info.FileSystem == "exFAT" ||
                   info.FileSystem == "NTFS");
    CheckRegion(region, info);

    const std::array<std::int64_t, 6> sectors = {
        -1, 0, info.StartSector, info.DataStartSector, info.TotalSectors - 1, info.TotalSectors};
    for (const std::int64_t sector : sectors) CheckWindow(*source, region, info, sector);
    return 0;
}

#include "cardgen/ntfs_free_placement.hpp"

#include <array>
#include <fstream>

#include "disk/free_space_map.hpp"
#include "disk/measure.hpp"
#include "platform/source_reader.hpp"

namespace tav::cardgen {
namespace {

struct ClusterUse {
    std::int64_t cluster_bytes = 0;
    std::vector<bool> used;  // one entry per cluster of the volume
};

std::expected<TDiskInfo, std::string> ReadGeometry(const SourceReader& source) {
    std::array<std::uint8_t, 512> boot{};
    if (source.read_at(0, boot).bytes < boot.size())
        return std::unexpected("short read on the image");
    const auto info = ParseBootSector(boot);
    if (!info || info->FileSystem != "NTFS") return std::unexpected("not an NTFS boot sector");
    // Reads past the end come back as zeros, which would pass for free clusters.
    if (source.size() < info->VolumeBytes) return std::unexpected("image shorter than its volume");
    return *info;
}

// The volume's own $Bitmap, found and read by the same code the scanner uses.
std::expected<ClusterUse, std::string> ReadClusterUse(const std::filesystem::path& image) {
    const auto source = SourceReader::open(image.string());
    if (!source)
        return std::unexpected("cannot open " + image.string() + ": " + source.error().reason);
    const auto info = ReadGeometry(*source);
    if (!info) return std::unexpected(info.error());
    const FreeSpaceRegion bitmap = LocateBitmap(*source, *info);
    if (bitmap.empty()) return std::unexpected("cannot find the $Bitmap");
    const std::int64_t clusters = info->TotalSectors / info->SectorsPerCluster;
    if (bitmap.length * 8 < clusters) return std::unexpected("$Bitmap shorter than the volume");
    ClusterUse out{std::int64_t{info->BytesPerSector} * info->SectorsPerCluster,
                   std::vector<bool>(static_cast<std::size_t>(clusters))};
    for (std::int64_t first = 0; first < clusters; first += kNtfsWindowClusters) {
        const ClusterUseWindow window =
            LoadUseWindow(*source, bitmap, *info, first * info->SectorsPerCluster);
        if (!window.loaded || window.first_cluster != first)
            return std::unexpected("cannot read the $Bitmap");
        const std::int64_t n = std::min(kNtfsWindowClusters, clusters - first);
        for (std::int64_t k = 0; k < n; ++k)
            out.used[static_cast<std::size_t>(first + k)] = window.entries[k] != 0;
    }
    return out;
}

}  // namespace

std::expected<std::vector<bool>, std::string> ReadNtfsClusterUse(
    const std::filesystem::path& image) {
    auto use = ReadClusterUse(image);
    if (!use) return std::unexpected(use.error());
    return std::move(use->used);
}

std::expected<std::vector<std::int64_t>, std::string> PlaceInFreeClusters(
    const std::filesystem::path& image, const std::vector<Bytes>& files) {
    const auto use = ReadClusterUse(image);
    if (!use) return std::unexpected(use.error());
    const std::vector<bool>& used = use->used;
    const std::int64_t cluster_bytes = use->cluster_bytes;
    const auto total_clusters = static_cast<std::int64_t>(used.size());
    std::fstream out(image, std::ios::binary | std::ios::in | std::ios::out);
    std::vector<std::int64_t> offsets;
    std::int64_t cursor = total_clusters / 2;  // well clear of the MFT zone
    for (const Bytes& file : files) {
        const std::int64_t need =
            (static_cast<std::int64_t>(file.size()) + cluster_bytes - 1) / cluster_bytes;
        std::int64_t run = 0;
        while (cursor < total_clusters && run < need)
            run = used[static_cast<std::size_t>(cursor++)] ? 0 : run + 1;
        if (run < need) return std::unexpected("not enough free clusters");
        const std::int64_t at = (cursor - need) * cluster_bytes;
        out.seekp(at);
        out.write(reinterpret_cast<const char*>(file.data()),
                  static_cast<std::streamsize>(file.size()));
        offsets.push_back(at);
        cursor += 3;  // a gap between files
    }
    if (!out.flush()) return std::unexpected("cannot write the image");
    return offsets;
}

}  // namespace tav::cardgen

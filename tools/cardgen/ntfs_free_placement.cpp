#include "cardgen/ntfs_free_placement.hpp"

#include <fstream>

#include "cardgen/ntfs_layout.hpp"

namespace tav::cardgen {
namespace {

constexpr std::int64_t kBitmapRecord = 6;

std::expected<Bytes, std::string> ReadAt(std::ifstream& in, std::int64_t offset, std::size_t n) {
    Bytes out(n);
    in.seekg(offset);
    in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(n));
    if (!in) return std::unexpected("short read on the image");
    return out;
}

std::expected<NtfsGeometry, std::string> ReadGeometry(std::ifstream& in) {
    const auto boot = ReadAt(in, 0, 512);
    if (!boot) return std::unexpected(boot.error());
    const auto g = ParseNtfsBootSector(ByteView(*boot));
    if (!g) return std::unexpected("not an NTFS boot sector");
    return *g;
}

}  // namespace

std::expected<std::vector<bool>, std::string> ReadNtfsClusterUse(
    const std::filesystem::path& image) {
    std::ifstream in(image, std::ios::binary);
    const auto g = ReadGeometry(in);
    if (!g) return std::unexpected(g.error());
    auto record = ReadAt(in, g->mft_offset + kBitmapRecord * g->record_size, g->record_size);
    if (!record || !ApplyFixups(*record, g->bytes_per_sector))
        return std::unexpected("cannot read the $Bitmap record");
    const auto data = ParseDataAttribute(ByteView(*record));
    if (!data || data->size * 8 < g->total_clusters)
        return std::unexpected("bad $Bitmap attribute");
    Bytes bitmap;
    for (const ClusterRun& run : data->runs) {
        const auto part = ReadAt(in, run.first_cluster * g->bytes_per_cluster,
                                 static_cast<std::size_t>(run.clusters * g->bytes_per_cluster));
        if (!part) return std::unexpected(part.error());
        bitmap.insert(bitmap.end(), part->begin(), part->end());
    }
    if (static_cast<std::int64_t>(bitmap.size()) * 8 < g->total_clusters)
        return std::unexpected("$Bitmap shorter than the volume");
    std::vector<bool> used(static_cast<std::size_t>(g->total_clusters));
    for (std::size_t k = 0; k < used.size(); ++k) used[k] = (bitmap[k / 8] >> (k % 8)) & 1;
    return used;
}

std::expected<std::vector<std::int64_t>, std::string> PlaceInFreeClusters(
    const std::filesystem::path& image, const std::vector<Bytes>& files) {
    const auto used = ReadNtfsClusterUse(image);
    if (!used) return std::unexpected(used.error());
    std::ifstream in(image, std::ios::binary);
    const auto g = ReadGeometry(in);
    if (!g) return std::unexpected(g.error());
    in.close();
    std::fstream out(image, std::ios::binary | std::ios::in | std::ios::out);
    std::vector<std::int64_t> offsets;
    std::int64_t cursor = g->total_clusters / 2;  // well clear of the MFT zone
    for (const Bytes& file : files) {
        const std::int64_t need =
            (static_cast<std::int64_t>(file.size()) + g->bytes_per_cluster - 1) /
            g->bytes_per_cluster;
        std::int64_t run = 0;
        while (cursor < g->total_clusters && run < need)
            run = (*used)[static_cast<std::size_t>(cursor++)] ? 0 : run + 1;
        if (run < need) return std::unexpected("not enough free clusters");
        const std::int64_t at = (cursor - need) * g->bytes_per_cluster;
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

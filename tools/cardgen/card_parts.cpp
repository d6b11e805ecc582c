#include "cardgen/card_parts.hpp"

#include <fstream>

#include "cardgen/image_search.hpp"
#include "common/byte_order.hpp"

namespace tav::cardgen {

std::expected<std::vector<CardFile>, std::string> MakeSeries(const CardRequest& r, int count,
                                                             const FileSeries& series) {
    std::vector<CardFile> files;
    for (int n = 0; n < count; ++n) {
        CardFilePlan s;
        s.name = "MVI_" + std::to_string(series.name_base + n + 1) + ".MOV";
        s.aud = r.aud == "on" || (r.aud == "mixed" && n != 2);
        s.frames = r.frames > 0 ? r.frames : DefaultFrames(n);
        s.clip_seed = r.seed * 1000 + series.seed_base + static_cast<std::uint64_t>(n);
        s.real_h264 = !r.synthetic;
        s.options.mdat64 = r.mdat64;
        s.options.co64 = r.co64;
        SetShootingTime(s.options, r.seed, n + series.time_base);
        if (IsOtherFile(r.clips, n)) s.other = WriterLayoutFor(n);
        auto f = MakeCardFile(s, r.clip_cache);
        if (!f) return std::unexpected(f.error());
        files.push_back(std::move(*f));
    }
    return files;
}

std::expected<void, std::string> WriteMbr(const std::filesystem::path& image, std::uint64_t seed,
                                          const MbrPartition& partition) {
    std::uint8_t mbr[512] = {};
    store_le32(mbr + 440, static_cast<std::uint32_t>(seed * 0x2545F491u | 1));  // disk signature
    std::uint8_t* entry = mbr + 446;
    entry[0] = partition.bootable ? 0x80 : 0x00;
    entry[1] = 0xFE, entry[2] = 0xFF, entry[3] = 0xFF;  // CHS unused: LBA only
    entry[4] = partition.type;
    entry[5] = 0xFE, entry[6] = 0xFF, entry[7] = 0xFF;
    store_le32(entry + 8, partition.first_sector);
    store_le32(entry + 12, partition.sectors);
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    std::fstream io(image, std::ios::binary | std::ios::in | std::ios::out);
    io.write(reinterpret_cast<const char*>(mbr), sizeof mbr);
    if (!io.flush()) return std::unexpected("cannot write the partition table");
    return {};
}

std::expected<std::vector<ManifestFile>, std::string> FindFiles(const std::filesystem::path& image,
                                                                const std::vector<CardFile>& files,
                                                                const std::vector<bool>& deleted) {
    const MappedImage mapped(image);
    if (!mapped.ok()) return std::unexpected("cannot map " + image.string());
    std::vector<ManifestFile> out;
    for (std::size_t n = 0; n < files.size(); ++n) {
        const MovFile& mov = files[n].mov;
        const std::int64_t head = mapped.find(StartKey(mov));
        const std::int64_t moov = mapped.find(mov.moov, head < 0 ? 0 : head);
        out.push_back(Describe(files[n], deleted[n] ? "deleted" : "in-use", head, moov));
    }
    return out;
}

}  // namespace tav::cardgen

#include "disk/mft_file_runs.hpp"

#include <algorithm>

#include "disk/free_space_map.hpp"

namespace tav {

namespace {

constexpr std::uint32_t kDataType = 0x80;
// Compressed, encrypted or sparse data does not lie byte for byte in its runs.
constexpr std::uint16_t kNotPlainFlags = 0x00FF | 0x4000 | 0x8000;
// Enough for millions of files; a larger MFT is read up to here.
constexpr std::int64_t kMostMftBytes = 1ll << 30;
constexpr std::size_t kReadBytes = 1 << 20;

std::optional<std::vector<DataRun>> PlainDataRuns(ByteView record, std::int64_t clusters) {
    const auto data = FindAttribute(record, kDataType, false);
    const auto flags = data ? data->le16(12) : std::nullopt;
    if (!flags || (*flags & kNotPlainFlags) != 0) return std::nullopt;
    const auto runs = RunListOf(*data);
    return runs ? DecodeRunList(*runs, clusters) : std::nullopt;
}

}  // namespace

MftFileRuns MftFileRuns::Read(const SourceReader& volume, const TDiskInfo& info) {
    MftFileRuns out;
    if (info.FileSystem != "NTFS" || info.BytesPerSector == 0 || info.SectorsPerCluster == 0 ||
        info.MftStartSector <= 0)
        return out;
    const std::int64_t cluster = std::int64_t{info.BytesPerSector} * info.SectorsPerCluster;
    const auto record_size = MftRecordSize(info.MftRecordCode, static_cast<std::uint32_t>(cluster));
    if (!record_size) return out;
    const std::int64_t clusters = info.TotalSectors / info.SectorsPerCluster;
    if (info.MftStartSector > clusters * info.SectorsPerCluster) return out;

    std::vector<std::uint8_t> record(*record_size);
    volume.read_at(info.MftStartSector * info.BytesPerSector, record);
    if (!ApplyFixup(record, info.BytesPerSector)) return out;
    const auto mft = PlainDataRuns(ByteView(record), clusters);
    if (!mft) return out;

    std::vector<std::uint8_t> block(kReadBytes);
    std::int64_t read = 0;
    for (const DataRun& run : *mft) {
        const std::int64_t bytes = std::min(run.clusters * cluster, kMostMftBytes - read);
        for (std::int64_t at = 0; at < bytes; at += static_cast<std::int64_t>(block.size())) {
            const auto length = static_cast<std::size_t>(
                std::min<std::int64_t>(static_cast<std::int64_t>(block.size()), bytes - at));
            if (!volume.read_at(run.lcn * cluster + at, std::span(block).first(length)).clean())
                continue;
            for (std::size_t r = 0; r + *record_size <= length; r += *record_size) {
                std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(r), *record_size,
                            record.begin());
                if (!ByteView(record).matches(0, "FILE") ||
                    !ApplyFixup(record, info.BytesPerSector))
                    continue;
                auto runs = PlainDataRuns(ByteView(record), clusters);
                if (runs && runs->size() > 1)
                    out.by_first_cluster_.emplace(runs->front().lcn, std::move(*runs));
            }
        }
        read += bytes;
        if (read >= kMostMftBytes) break;
    }
    return out;
}

const std::vector<DataRun>& MftFileRuns::starting_at(std::int64_t lcn) const {
    static const std::vector<DataRun> kNone;
    const auto it = by_first_cluster_.find(lcn);
    return it == by_first_cluster_.end() ? kNone : it->second;
}

}  // namespace tav

// A movie header on a source: the atom walk of one window (pure), the whole
// header analysis through the source across as many windows as it takes,
// and the sample-size and chunk-offset tables it points at; the same bytes
// as a file's start region and as a header that tells a date.
//
// Input: the source's bytes from its start, then a trailer that
// FuzzedDataProvider takes from the end: the header's start offset (16
// bits, last, little-endian) and a flags byte before it (bit 0: large files
// only; bit 1: check free space against a bitmap made of the input's first
// bytes).

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "common/reporter.hpp"
#include "disk/measure.hpp"
#include "fuzz_support.hpp"
#include "platform/source_reader.hpp"
#include "scan/atom_walk.hpp"
#include "scan/header_analysis.hpp"
#include "scan/movie_date.hpp"
#include "scan/movie_tracks.hpp"
#include "scan/sample_tables.hpp"
#include "scan/scan_geometry.hpp"
#include "scan/start_region.hpp"

namespace {

using tav::ByteView;
using tav::HeaderInfo;

bool TypeAt(const std::vector<std::uint8_t>& source, std::int64_t offset, const char* a,
            const char* b) {
    const ByteView view(source.data(), source.size());
    if (offset < 0) return false;
    const auto at = static_cast<std::size_t>(offset) + 4;
    return view.matches(at, a) || view.matches(at, b);
}

// What the walk records must be there on the source.
void CheckFound(const HeaderInfo& info, const std::vector<std::uint8_t>& source,
                std::int64_t header_start) {
    TAV_FUZZ_CHECK(info.EndType.empty() || info.EndType == "HEAD" || info.EndType == "moov" ||
                   info.EndType == "ftyp");
    if (info.EndType == "moov" || info.EndType == "ftyp")
        TAV_FUZZ_CHECK(info.EndOffset > header_start);
    if (info.StszOffset != 0) TAV_FUZZ_CHECK(TypeAt(source, info.StszOffset, "stsz", "stsz"));
    if (info.StcoOffset != 0) TAV_FUZZ_CHECK(TypeAt(source, info.StcoOffset, "stco", "co64"));
}

void CheckTable(const tav::SourceReader& source, const std::vector<std::uint8_t>& bytes,
                std::int64_t offset, std::int64_t last_byte, bool sizes) {
    if (offset > 0 && static_cast<std::uint64_t>(offset) < bytes.size()) {
        const auto header = tav::ParseTableHeader(ByteView(bytes.data(), bytes.size()).sub(offset));
        if (header) {
            TAV_FUZZ_CHECK(header->sizes == sizes);
            TAV_FUZZ_CHECK(header->entry_bytes == 4 || header->entry_bytes == 8);
        }
    }
    tav::TableProblem problem = tav::TableProblem::None;
    const auto tail = tav::ReadTableTail(source, offset, last_byte, sizes, problem);
    if (tail) {
        TAV_FUZZ_CHECK(problem == tav::TableProblem::None);
        TAV_FUZZ_CHECK(tail->count > 0);
    } else {
        TAV_FUZZ_CHECK(problem != tav::TableProblem::None);
        TAV_FUZZ_CHECK(sizes || problem != tav::TableProblem::CommonSize);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::int64_t header_start = input.ConsumeIntegral<std::uint16_t>();
    const auto flags = input.ConsumeIntegral<std::uint8_t>();
    const std::vector<std::uint8_t> bytes = input.ConsumeRemainingBytes<std::uint8_t>();
    const bool large_only = (flags & 1) != 0;
    const bool check_free = (flags & 2) != 0;

    // The first read window as AnalyzeHeader reads it: zeros past the end.
    std::vector<std::uint8_t> window(tav::kReadBytes, 0);
    std::copy_n(bytes.begin(), std::min(bytes.size(), window.size()), window.begin());
    HeaderInfo walked;
    walked.EndOffset = header_start;
    std::int64_t p = header_start;
    const auto outcome =
        tav::WalkWindow(ByteView(window.data(), window.size()), 0, p, walked, large_only);
    TAV_FUZZ_CHECK(p >= header_start);
    TAV_FUZZ_CHECK(outcome == tav::WalkOutcome::End ||
                   p >= static_cast<std::int64_t>(tav::kStepBytes));
    CheckFound(walked, bytes, header_start);

    // The whole-header parse of every track, from the header start.
    if (static_cast<std::uint64_t>(header_start) < bytes.size()) {
        const auto tracks = tav::ParseMovieTracks(
            ByteView(bytes.data(), bytes.size()).sub(static_cast<std::size_t>(header_start)));
        if (tracks) {
            TAV_FUZZ_CHECK(tracks->video() != nullptr);
            for (const tav::MovieTrack& t : tracks->tracks)
                TAV_FUZZ_CHECK(t.samples > 0 && t.last_sample_offset <= t.media_end);
        }
    }

    const std::string& path = tav::fuzz::InputFile().hold(bytes.data(), bytes.size());
    auto source = tav::SourceReader::open(path);
    TAV_FUZZ_CHECK(source.has_value());
    tav::TDiskInfo disk;
    tav::FreeSpaceRegion region;
    tav::ScanGeometry geometry;
    geometry.range_end = static_cast<std::int64_t>(bytes.size()) / tav::kSectorBytes;
    if (check_free) {
        // NTFS-like: cluster k is in use when bit k of the input is set.
        disk.FileSystem = "NTFS";
        disk.BytesPerSector = 512;
        disk.SectorsPerCluster = 8;
        disk.BytesPerCluster = 4096;
        disk.TotalSectors = disk.EndSector = geometry.range_end;
        geometry.cluster_sectors = 8;
        const auto map_bytes = static_cast<std::int64_t>(std::min<std::size_t>(bytes.size(), 8192));
        if (map_bytes > 0) region.extents.push_back({0, 0, map_bytes});
        region.length = map_bytes;
    } else {
        disk = tav::RawDiskInfo(static_cast<std::int64_t>(bytes.size()));
        geometry.raw = true;
    }
    tav::HeaderRequest request;
    request.header_start = header_start;
    request.check_free_space = check_free;
    request.large_file_only = large_only;
    tav::NullReporter reporter;
    const HeaderInfo analysed =
        tav::AnalyzeHeader(*source, disk, geometry, region, request, reporter);
    CheckFound(analysed, bytes, header_start);
    // A walk that ends in the first window is the pure walk exactly.
    if (!check_free && geometry.range_end > 0 && outcome == tav::WalkOutcome::End)
        TAV_FUZZ_CHECK(analysed == walked);

    const std::int64_t last_byte = analysed.EndOffset - 1;
    CheckTable(*source, bytes, analysed.StszOffset, last_byte, true);
    CheckTable(*source, bytes, analysed.StcoOffset, last_byte, false);

    // A start region: its atoms lie in order, the mdat's payload behind its header.
    const ByteView all(bytes.data(), bytes.size());
    if (const auto start = tav::ParseStartRegion(all.sub(0, 4096), [&](std::uint64_t at, auto buf) {
            if (at > bytes.size() || buf.size() > bytes.size() - at) return false;
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), buf.size(), buf.begin());
            return true;
        })) {
        TAV_FUZZ_CHECK(start->brand.size() == 4 && tav::IsPlausibleFtyp(all));
        TAV_FUZZ_CHECK(start->mdat_payload == start->mdat_at + (start->mdat_size_64 ? 16 : 8));
        TAV_FUZZ_CHECK(!start->mdat_end || *start->mdat_end >= start->mdat_payload);
        TAV_FUZZ_CHECK(!start->moov_at || *start->moov_at + start->moov_size <= start->mdat_at);
    }
    if (static_cast<std::uint64_t>(header_start) < bytes.size())
        if (const auto date = tav::MovieDate(all.sub(static_cast<std::size_t>(header_start))))
            TAV_FUZZ_CHECK(date->size() == 19 && (*date)[4] == ':' && (*date)[10] == ' ');
    return 0;
}

#include "recovery/header_rebuild.hpp"

#include <algorithm>
#include <array>
#include <memory>

#include "codec/picture_order.hpp"

#include "recovery/movie_header_writer.hpp"
#include "recovery/split_media.hpp"
#include "recovery/start_region.hpp"

namespace tav {

namespace {

bool Contains(const std::vector<ByteString>& sets, const ByteString& set) {
    return std::find(sets.begin(), sets.end(), set) != sets.end();
}

// Chunks of one left-out track may follow each other, and a short
// reference's chunks may be shorter than the camera's.
std::uint64_t GapBytes(const ReferenceMovie& ref) {
    constexpr std::uint64_t kLeast = 16 * 1024;
    return ref.other_chunk_bytes == 0 ? 0 : std::max(kLeast, 2 * ref.other_chunk_bytes);
}

// A clip of the same camera may be filmed at a higher rate than the
// reference was.
std::uint64_t MostUnitBytes(const ReferenceVideo& video) {
    constexpr std::uint64_t kLeast = 1 << 20;
    return video.largest_sample == 0 ? 0 : std::max(kLeast, 8 * video.largest_sample);
}

// The first bytes of each walked picture's first slice: what the order the
// pictures are shown in is read from. Nothing when a picture has none.
std::optional<std::vector<ByteString>> FirstSlices(const MediaBytes& file, const MediaWalk& walk,
                                                   const NalFormat& format) {
    std::vector<ByteString> slices;
    slices.reserve(walk.video.size());
    for (const WalkedSample& sample : walk.video) {
        const std::uint64_t end = sample.offset + sample.size;
        std::uint64_t at = sample.offset;
        for (;;) {
            std::array<std::uint8_t, 4> field{};
            if (end - at < format.least_unit_bytes() ||
                !file.read(at, std::span(field.data(), format.length_size)))
                return std::nullopt;
            const auto length =
                ReadNalLength(ByteView(field.data(), format.length_size), 0, format);
            if (!length || *length > end - at - format.length_size) return std::nullopt;
            ByteString unit(std::min<std::size_t>(*length, kSliceHeaderBytes));
            if (!file.read(at + format.length_size, unit)) return std::nullopt;
            const auto header = ReadNalHeader(ByteView(unit), format.codec);
            if (header && header->slice) {
                slices.push_back(std::move(unit));
                break;
            }
            at += format.length_size + *length;
        }
    }
    return slices;
}

}  // namespace

bool ParameterSetsMatch(const MediaWalk& walk, const ReferenceVideo& video) {
    const auto all_in = [](const std::vector<ByteString>& met, const std::vector<ByteString>& own) {
        return std::all_of(met.begin(), met.end(),
                           [&](const ByteString& s) { return Contains(own, s); });
    };
    return all_in(walk.vps, video.vps) && all_in(walk.sps, video.sps) &&
           all_in(walk.pps, video.pps);
}

std::expected<RebuiltFile, std::string> RebuildHeader(
    const MediaBytes& region, const std::vector<ReferenceMovie>& references) {
    return RebuildHeader(region, 0, references, nullptr);
}

std::expected<RebuiltFile, std::string> RebuildHeader(const MediaBytes& source, std::int64_t head,
                                                      const std::vector<ReferenceMovie>& references,
                                                      const FollowSetup* setup) {
    const auto media = FindMediaData(PiecedFile(source, head, nullptr));
    if (!media) return std::unexpected(media.error());
    if (references.empty()) return std::unexpected(std::string("没有参考文件"));

    std::optional<MediaWalk> best;
    std::unique_ptr<PiecedFile> best_file;
    const ReferenceMovie* best_reference = nullptr;
    bool mismatch = false;
    for (const ReferenceMovie& ref : references) {
        const auto slices =
            SliceReader::FromSets(ref.video.format.codec, ref.video.sps, ref.video.pps);
        auto file = std::make_unique<PiecedFile>(source, head, setup);
        MediaWalkInput in{media->payload_at, media->end,    ref.first_chunk,          std::nullopt,
                          ref.video.format,  GapBytes(ref), MostUnitBytes(ref.video), file.get()};
        if (ref.sound) {
            in.sound_chunk_bytes = ref.sound->chunk_bytes();
            for (const std::uint32_t samples : ref.sound->other_samples_per_chunk)
                in.more_sound_chunk_bytes.push_back(std::uint64_t{samples} *
                                                    ref.sound->frame_bytes);
            in.sound_frame_bytes = ref.sound->frame_bytes;
        }
        if (slices) in.slices = &*slices;
        auto walk = WalkMedia(*file, in);
        if (!walk || walk->video.empty()) continue;
        if (!ParameterSetsMatch(*walk, ref.video)) {
            mismatch = true;
            continue;
        }
        if (!best || walk->end > best->end) {
            best = std::move(walk);
            best_file = std::move(file);
            best_reference = &ref;
        }
    }
    if (!best)
        return std::unexpected(std::string(mismatch ? "视频的SPS/PPS与参考文件的不同"
                                                    : "媒体数据中找不到完整的视频帧"));
    for (const WalkedSample& s : best->video)
        if (s.size > 0xFFFFFFFFull) return std::unexpected(std::string("视频帧超过4GiB"));

    RebuiltFile file;
    file.source_offset = head;
    // Pieces past the media data walked are not the file's.
    std::vector<MediaPiece> best_pieces = best_file->pieces();
    std::erase_if(best_pieces, [&](const MediaPiece& p) { return p.file_offset >= best->end; });
    file.pieces.assign(best_pieces.begin() + 1, best_pieces.end());
    file.copy_length = best->end;
    if (!best->reached_end) {
        file.patch_at = media->mdat_at + (media->wide ? 8 : 0);
        file.patch = MdatSizeField(*media, best->end);
    }
    // Streams with B-frames show pictures in another order than they are
    // decoded in; the slice headers tell which.
    const ReferenceVideo& video = best_reference->video;
    std::optional<CompositionOffsets> order;
    if (const auto slices = FirstSlices(*best_file, *best, video.format))
        order = ComposeOrder(video.format.codec, video.sps, video.pps, *slices);
    file.moov = WriteRebuiltMoov(*best_reference, *best, order ? &*order : nullptr);
    file.frames = best->video.size();
    file.sound = best_reference->sound && !best->sound_chunks.empty();
    return file;
}

}  // namespace tav

// The sample checks and the follow on streams a real encoder wrote: H.264 and
// HEVC, their parameter sets, SEI and slices as phones' and cameras'
// encoders put them, read through the sample description's own record.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>

#include "cardgen/run_process.hpp"
#include "codec/nal_sample.hpp"
#include "codec/picture_order.hpp"
#include "recovery/reference_movie.hpp"
#include "scan/media_follow.hpp"
#include "scan/media_map.hpp"
#include "scan/movie_tracks.hpp"
#include "support/fs_image.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The top-level "moov" atom of an MP4 file.
std::optional<ByteView> MovieAtom(ByteView file) {
    for (std::size_t at = 0; file.has(at, 8);) {
        const std::uint32_t size = file.be32(at).value_or(0);
        if (size < 8 || !file.has(at, size)) return std::nullopt;
        if (file.matches(at + 4, "moov")) return file.sub(at, size);
        at += size;
    }
    return std::nullopt;
}

// An MP4 file ffmpeg encodes from a test pattern at 25 frames a second;
// nothing when the encoder is not there.
std::optional<Bytes> Encode(const test::TempDir& dir, const std::string& tag,
                            std::vector<std::string> encoder_args) {
    const auto path = dir / (tag + ".mp4");
    std::vector<std::string> args = {"ffmpeg", "-v",    "error", "-y",
                                     "-f",     "lavfi", "-i",    "testsrc2=size=64x64:rate=25"};
    args.insert(args.end(), encoder_args.begin(), encoder_args.end());
    args.insert(args.end(), {"-tag:v", tag, path.string()});
    if (!cardgen::RunProcess(args).ok()) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), {}};
}

TEST(EncodedStream, EverySampleChecksAndTheFileFollowsWhole) {
    if (!test::HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    const struct {
        const char* encoder;
        const char* tag;
        NalFormat format;
    } streams[] = {
        {"libx264", "avc1", {VideoCodec::H264, 4}},
        {"libx265", "hvc1", {VideoCodec::Hevc, 4}},
    };
    test::TempDir dir;
    for (const auto& s : streams) {
        SCOPED_TRACE(s.encoder);
        const auto encoded = Encode(dir, s.tag, {"-frames:v", "5", "-c:v", s.encoder, "-bf", "0"});
        if (!encoded) GTEST_SKIP() << s.encoder << " not available";
        const Bytes& file = *encoded;
        const auto moov = MovieAtom(ByteView(file));
        ASSERT_TRUE(moov);
        const auto tracks = ParseMovieTracks(*moov);
        ASSERT_TRUE(tracks && tracks->video());
        EXPECT_EQ(tracks->video()->nal, s.format);
        auto map = MapMedia(*tracks);
        ASSERT_TRUE(map);
        ASSERT_EQ(map->video.size(), 5u);
        for (const FileSpan& sample : map->video)
            EXPECT_TRUE(IsWholeFrame(ByteView(file).sub(sample.offset, sample.length), map->nal))
                << "sample at " << sample.offset;
        map->media_end = tracks->media_end().value_or(0);
        const ReadSource read = [&](std::int64_t at, std::span<std::uint8_t> buf) {
            const ByteView from = ByteView(file).sub(static_cast<std::size_t>(at));
            std::fill(buf.begin(), buf.end(), 0);
            std::copy_n(from.data(), std::min(from.size(), buf.size()), buf.begin());
            return true;
        };
        FollowSetup setup;
        setup.area_end = static_cast<std::int64_t>(file.size());
        const FollowResult r = FollowMedia(read, 0, *map, setup);
        EXPECT_TRUE(r.complete);
        EXPECT_EQ(r.pieces, (std::vector<MediaPiece>{{0, 0}}));
    }
}

// The composition offsets the muxer wrote, in frames, per sample.
std::vector<std::int64_t> WrittenOffsets(ByteView moov, std::uint32_t delta) {
    std::vector<std::int64_t> frames;
    for (std::size_t at = 0; moov.has(at, 16); ++at) {
        if (!moov.matches(at, "ctts")) continue;
        const std::uint32_t runs = moov.be32(at + 8).value_or(0);
        for (std::uint32_t k = 0; k < runs; ++k) {
            const std::uint32_t count = moov.be32(at + 12 + 8 * k).value_or(0);
            const auto offset = static_cast<std::int32_t>(moov.be32(at + 16 + 8 * k).value_or(0));
            frames.insert(frames.end(), count, offset / static_cast<std::int32_t>(delta));
        }
        break;
    }
    return frames;
}

// Streams with B-frames (closed GOPs of IDRs in H.264, open ones of CRAs and
// leading pictures in HEVC): the order the slice headers give is the one
// the muxer wrote, whatever delay either counts from.
TEST(EncodedStream, ShownOrderOfBFramesIsReadFromTheSliceHeaders) {
    if (!test::HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    const struct {
        const char* encoder;
        const char* tag;
        const char* params_option;
        const char* params;
    } streams[] = {
        {"libx264", "avc1", "-x264-params", "keyint=12:bframes=3:b-pyramid=normal"},
        {"libx265", "hvc1", "-x265-params", "keyint=12:bframes=4:log-level=error"},
    };
    test::TempDir dir;
    for (const auto& s : streams) {
        SCOPED_TRACE(s.encoder);
        const auto encoded =
            Encode(dir, s.tag, {"-frames:v", "40", "-c:v", s.encoder, s.params_option, s.params});
        if (!encoded) GTEST_SKIP() << s.encoder << " not available";
        const Bytes& file = *encoded;
        const auto moov = MovieAtom(ByteView(file));
        ASSERT_TRUE(moov);
        const auto tracks = ParseMovieTracks(*moov);
        ASSERT_TRUE(tracks && tracks->video());
        const auto map = MapMedia(*tracks);
        ASSERT_TRUE(map);
        const std::vector<std::int64_t> written = WrittenOffsets(*moov, 512);  // 1/25 s in 1/12800
        ASSERT_EQ(written.size(), map->video.size());

        std::vector<Bytes> slices;
        for (const FileSpan& sample : map->video) {
            const ByteView bytes = ByteView(file).sub(sample.offset, sample.length);
            for (std::size_t at = 0; bytes.has(at, 4);) {
                const std::uint32_t length = bytes.be32(at).value_or(0);
                const ByteView unit = bytes.sub(at + 4, length);
                if (const auto h = ReadNalHeader(unit, map->nal.codec); h && h->slice) {
                    slices.emplace_back(
                        unit.data(),
                        unit.data() + std::min<std::size_t>(unit.size(), kSliceHeaderBytes));
                    break;
                }
                at += 4 + length;
            }
        }
        ASSERT_EQ(slices.size(), map->video.size());
        const auto reference = ParseReferenceMovie(*moov);
        ASSERT_TRUE(reference) << reference.error();
        const auto order =
            ComposeOrder(map->nal.codec, reference->video.sps, reference->video.pps, slices);
        ASSERT_TRUE(order);
        EXPECT_TRUE(order->reordered());
        ASSERT_EQ(order->frames.size(), written.size());
        for (std::size_t k = 0; k < written.size(); ++k)
            EXPECT_EQ(written[k] - order->frames[k], written[0] - order->frames[0]) << k;
    }
}

}  // namespace
}  // namespace tav

// The sample checks and the follow on streams a real encoder wrote: H.264 and
// HEVC, their parameter sets, SEI and slices as phones' and cameras'
// encoders put them, read through the sample description's own record.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>

#include "cardgen/run_process.hpp"
#include "codec/nal_sample.hpp"
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
        const auto path = dir / (std::string(s.tag) + ".mp4");
        const cardgen::ProcessResult run = cardgen::RunProcess(
            {"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=64x64:rate=25",
             "-frames:v", "5", "-c:v", s.encoder, "-bf", "0", "-tag:v", s.tag, path.string()});
        if (!run.ok()) GTEST_SKIP() << s.encoder << " not available: " << run.output;
        std::ifstream in(path, std::ios::binary);
        const Bytes file{std::istreambuf_iterator<char>(in), {}};
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

}  // namespace
}  // namespace tav

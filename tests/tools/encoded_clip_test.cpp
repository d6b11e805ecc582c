#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "cardgen/frame_check.hpp"
#include "cardgen/mov_builder.hpp"
#include "cardgen/mov_sample_reader.hpp"
#include "cardgen/run_process.hpp"
#include "support/temp_dir.hpp"

namespace tav::cardgen {
namespace {

const std::filesystem::path kClipCache = std::filesystem::path(TAV_TESTDATA_DIR) / "clips";

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

int ProbedFrameCount(const std::filesystem::path& path) {
    const ProcessResult r =
        RunProcess({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                    "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", path.string()});
    return r.ok() ? std::atoi(r.output.c_str()) : -1;
}

TEST(MovSampleReader, ReadsBackWhatTheBuilderWrote) {
    MovOptions o;
    o.sound_track = true;
    o.co64 = true;
    const EncodedClip clip = SyntheticClip(6, 8);
    const Bytes file = BuildCameraMov(o, clip).bytes();
    const auto back = ReadVideoSamples(ByteView(file));
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(back->frames, clip.frames);
    EXPECT_EQ(back->stsd_entry, clip.stsd_entry);
    EXPECT_EQ(back->width, 320);
    EXPECT_EQ(back->height, 240);
}

TEST(MovSampleReader, RejectsTruncatedFiles) {
    const Bytes file = BuildCameraMov({}, SyntheticClip(6, 8)).bytes();
    const Bytes cut(file.begin(), file.end() - 40);
    EXPECT_FALSE(ReadVideoSamples(ByteView(cut)));
    EXPECT_FALSE(ReadVideoSamples(ByteView()));
}

TEST(EncodedClip, FramesAreDelimitedAsTheScannerExpects) {
    for (bool aud : {true, false}) {
        const auto clip = TryEncodeClip(12, 21, aud, 320, 240, kClipCache);
        ASSERT_TRUE(clip) << clip.error();
        ASSERT_EQ(clip->frames.size(), 12u);
        const Bytes& last = clip->frames.back();
        ASSERT_GE(last.size(), 6u);
        EXPECT_EQ(last[0] == 0 && last[1] == 0 && last[2] == 0 && last[3] == 2 && last[4] == 9,
                  aud);
        EXPECT_EQ(LastFrameVerifies(ByteView(last), 0, static_cast<std::uint32_t>(last.size())),
                  aud);
    }
}

TEST(EncodedClip, SameSeedFromCacheIsIdentical) {
    const auto a = TryEncodeClip(5, 77, true, 320, 240, kClipCache);
    const auto b = TryEncodeClip(5, 77, true, 320, 240, kClipCache);
    const auto c = TryEncodeClip(5, 78, true, 320, 240, kClipCache);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(a->frames, b->frames);
    EXPECT_NE(a->frames, c->frames);
}

struct DecodeCase {
    bool aud, co64, mdat64, sound;
};

class CameraMovDecodes : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(CameraMovDecodes, FfmpegDecodesEveryFrame) {
    const DecodeCase c = GetParam();
    const auto clip = TryEncodeClip(16, 5, c.aud, 320, 240, kClipCache);
    ASSERT_TRUE(clip) << clip.error();
    MovOptions o;
    o.co64 = c.co64;
    o.mdat64 = c.mdat64;
    o.sound_track = c.sound;
    const MovFile mov = BuildCameraMov(o, *clip);
    test::TempDir dir;
    const auto path = dir / "clip.mov";
    WriteFile(path, mov.bytes());
    const ProcessResult decode = RunProcess(
        {"ffmpeg", "-nostdin", "-v", "error", "-xerror", "-i", path.string(), "-f", "null", "-"});
    EXPECT_TRUE(decode.ok()) << decode.output;
    EXPECT_EQ(decode.output, "");
    EXPECT_EQ(ProbedFrameCount(path), 16);
    const Bytes all = mov.bytes();
    EXPECT_EQ(LastFrameVerifies(ByteView(all), mov.chunk_offsets.back(), mov.sample_sizes.back()),
              c.aud);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, CameraMovDecodes,
    ::testing::Values(DecodeCase{true, false, false, false}, DecodeCase{false, false, false, false},
                      DecodeCase{true, true, false, false}, DecodeCase{false, true, true, false},
                      DecodeCase{true, false, true, false}, DecodeCase{true, true, true, true}));

}  // namespace
}  // namespace tav::cardgen

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "assembled_bytes.hpp"
#include "cardgen/aac_clip.hpp"
#include "cardgen/mov_builder.hpp"
#include "cardgen/other_mov_builder.hpp"
#include "cardgen/seeded_random.hpp"
#include "cardgen/writer_layout.hpp"
#include "full_decode.hpp"
#include "playable_text.hpp"
#include "read_pacer.hpp"
#include "recovery/header_rebuild.hpp"
#include "recovery/reference_movie.hpp"
#include "row_verify.hpp"
#include "support/cards.hpp"
#include "support/faulty_device.hpp"
#include "support/fragment_ranges.hpp"
#include "support/temp_dir.hpp"

namespace tav::preview {
namespace {

using cardgen::Bytes;
using cardgen::kFramesPerSecond;
using test::Ranges;

constexpr int kFrames = 75;  // three seconds

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

cardgen::EncodedClip Clip(std::uint64_t seed, int frames = kFrames) {
    const auto clip = cardgen::TryEncodeClip(frames, seed, true, 320, 240, test::TestClipCache());
    EXPECT_TRUE(clip.has_value()) << clip.error();
    return clip.value_or(cardgen::EncodedClip{});
}

cardgen::MovFile CameraFile(std::uint64_t seed, bool sound, int frames = kFrames) {
    cardgen::MovOptions options;
    options.sound_track = sound;
    return cardgen::BuildCameraMov(options, Clip(seed, frames));
}

// A file of another writer with AAC sound.
cardgen::MovFile AacFile() {
    const auto& layouts = cardgen::WriterLayouts();
    const auto layout = std::find_if(layouts.begin(), layouts.end(), [](const auto& l) {
        return l.sound == cardgen::SoundCodec::kAac && l.video == cardgen::VideoCodec::kAvc &&
               !l.moov_first;
    });
    EXPECT_NE(layout, layouts.end());
    const auto aac = cardgen::TryEncodeAac(kFrames, 5, test::TestClipCache());
    EXPECT_TRUE(aac.has_value()) << aac.error();
    return cardgen::BuildOtherMov({}, *layout, Clip(6), aac ? &*aac : nullptr, 6);
}

class NeverStop : public VerifyControl {
  public:
    bool stop_requested() const override { return false; }
};

// A whole file decoded in place, as a row of its own would be.
Verification VerifyBytes(const Bytes& bytes, const VerifyLimits& limits = {}) {
    test::TempDir dir;
    WriteFile(dir / "file.mov", bytes);
    const SourceReader source = *SourceReader::open((dir / "file.mov").string());
    const AssembledFile file(source, {{0, static_cast<std::int64_t>(bytes.size())}});
    return VerifyDecode(AssembledBytes(file), NeverStop(), limits);
}

std::int64_t SampleAt(const cardgen::MovFile& mov, std::size_t k) {
    return static_cast<std::int64_t>(mov.chunk_offsets.at(k));
}

// The file's samples, damaged in the ways a card damages them.
TEST(Verify, CountsTheFramesThatPlayAndWhereTheFirstFails) {
    const auto mov = CameraFile(11, true);
    const Bytes whole = mov.bytes();
    auto zeroed = [&](std::size_t from, std::size_t to) {  // samples [from, to)
        Bytes b = whole;
        std::fill(b.begin() + SampleAt(mov, from),
                  b.begin() + SampleAt(mov, to - 1) + mov.sample_sizes.at(to - 1), 0);
        return b;
    };
    const struct {
        Bytes bytes;
        std::int64_t decoded;
        std::optional<double> bad;  // seconds of the first frame that fails
        const char* text;
        const char* why;
    } cases[] = {
        {whole, kFrames, std::nullopt, "全部 75/75 帧", "whole"},
        {zeroed(40, 44), 40, 40.0 / kFramesPerSecond, "前 00:00:01 可播放", "zeroed in the middle"},
        {zeroed(0, 2), 0, 0.0, "无法解码", "first frames zeroed"},
        {zeroed(60, kFrames), 60, 60.0 / kFramesPerSecond, "前 00:00:02 可播放",
         "the end of the media data lost"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        const Verification v = VerifyBytes(c.bytes);
        EXPECT_EQ(v.frames_decoded, c.decoded) << v.detail;
        EXPECT_EQ(v.frames_listed, kFrames);
        if (c.bad && c.decoded != 0) {
            ASSERT_TRUE(v.first_bad_seconds.has_value());
            EXPECT_NEAR(*v.first_bad_seconds, *c.bad, 0.5 / kFramesPerSecond);
        }
        if (c.text) EXPECT_EQ(PlayableText(v), c.text);
        EXPECT_EQ(v.plays_fully(), c.decoded == kFrames);
    }
}

// The sound is checked on its own: frames that all play, sound that does not.
TEST(Verify, SaysWhetherTheSoundDecodes) {
    const auto camera = CameraFile(12, true);
    EXPECT_EQ(VerifyBytes(camera.bytes()).sound, SoundCheck::Decodes);
    EXPECT_EQ(VerifyBytes(CameraFile(12, false).bytes()).sound, SoundCheck::None);

    const auto aac = AacFile();
    Bytes damaged = aac.bytes();
    EXPECT_EQ(VerifyBytes(damaged).sound, SoundCheck::Decodes);
    cardgen::SeededRandom random(3);
    for (const std::uint64_t at : aac.sound_chunk_offsets)
        std::generate_n(damaged.begin() + static_cast<std::ptrdiff_t>(at), 24,
                        [&] { return static_cast<std::uint8_t>(random.next()); });
    const Verification v = VerifyBytes(damaged);
    EXPECT_EQ(v.sound, SoundCheck::Damaged);
    EXPECT_TRUE(v.all_frames());
    EXPECT_FALSE(v.plays_fully());
    EXPECT_EQ(PlayableText(v), "全部 75/75 帧，声音无法解码");
}

// What a save writes is what is checked: a file the file system split,
// and a start region with a header rebuilt from another clip of the camera.
TEST(Verify, ChecksTheFileTheSaveWouldWrite) {
    test::TempDir dir;
    const auto mov = CameraFile(13, false);
    // Start region, the rest of its media data far away, the header after.
    const std::int64_t cut = SampleAt(mov, 30), head_at = 8192, rest_at = 1 << 20,
                       moov_at = 2 << 20;
    Bytes image(3 << 20, 0x77);
    std::copy(mov.head.begin(), mov.head.begin() + cut, image.begin() + head_at);
    std::copy(mov.head.begin() + cut, mov.head.end(), image.begin() + rest_at);
    std::copy(mov.moov.begin(), mov.moov.end(), image.begin() + moov_at);
    WriteFile(dir / "card.img", image);
    const std::string card = (dir / "card.img").string();
    const auto rest_end = rest_at + static_cast<std::int64_t>(mov.head.size()) - cut;
    const auto moov_end = moov_at + static_cast<std::int64_t>(mov.moov.size());
    const auto split = VerifyPlanned(card, {Ranges({{"HEAD", head_at, head_at + cut},
                                                    {"mdat", rest_at, rest_end},
                                                    {"moov", moov_at, moov_end}}),
                                            std::nullopt});
    ASSERT_TRUE(split.has_value()) << split.error().detail;
    EXPECT_TRUE(split->plays_fully()) << PlayableText(split);
    // The same fragments without the piece that was moved: the rest plays no more.
    const auto unmoved = VerifyPlanned(
        card, {Ranges({{"HEAD", head_at, head_at + static_cast<std::int64_t>(mov.head.size())},
                       {"moov", moov_at, moov_end}}),
               std::nullopt});
    ASSERT_TRUE(unmoved.has_value());
    EXPECT_EQ(unmoved->frames_decoded, 30);

    const auto other = CameraFile(14, false, 40);
    const auto reference = ParseReferenceMovie(ByteView(other.moov));
    ASSERT_TRUE(reference.has_value()) << reference.error();
    const auto whole = CameraFile(13, false);
    Bytes region_image(1 << 20, 0);
    std::copy(whole.head.begin(), whole.head.end(), region_image.begin() + head_at);
    WriteFile(dir / "lost.img", region_image);
    auto rebuilt = RebuildHeader(ViewBytes(ByteView(whole.head)), {*reference});
    ASSERT_TRUE(rebuilt.has_value()) << rebuilt.error();
    rebuilt->source_offset = head_at;
    const auto checked = VerifyPlanned(
        (dir / "lost.img").string(),
        {Ranges({{"HEAD", head_at, head_at + static_cast<std::int64_t>(whole.head.size())}}),
         *rebuilt});
    ASSERT_TRUE(checked.has_value()) << checked.error().detail;
    EXPECT_EQ(checked->frames_listed, static_cast<std::int64_t>(rebuilt->frames));
    EXPECT_TRUE(checked->plays_fully()) << PlayableText(checked);
    const auto thumbnail = PreviewPlanned(
        (dir / "lost.img").string(),
        {Ranges({{"HEAD", head_at, head_at + static_cast<std::int64_t>(whole.head.size())}}),
         *rebuilt});
    EXPECT_TRUE(thumbnail.has_value());
}

// A stop asked for mid-file ends it with what was done; a time limit too.
TEST(Verify, StopsWhenAskedAndWhenItsTimeIsUp) {
    test::TempDir dir;
    const auto mov = CameraFile(15, true);
    WriteFile(dir / "file.mov", mov.bytes());
    const RowPlan plan{Ranges({{"HEAD", 0, static_cast<std::int64_t>(mov.bytes().size())}}),
                       std::nullopt};
    StopFlag stop{0};
    VerifyOptions options;
    options.stop = &stop;
    options.others_busy = [&] {  // asked after each chunk read: stop after the first
        stop = 1;
        return false;
    };
    const auto stopped = VerifyPlanned((dir / "file.mov").string(), plan, options);
    ASSERT_TRUE(stopped.has_value());
    EXPECT_EQ(stopped->end, VerifyEnd::Stopped);
    EXPECT_LT(stopped->frames_decoded, kFrames);
    EXPECT_EQ(PlayableText(stopped), "");

    VerifyOptions no_time;
    no_time.limits.base_seconds = 0;
    no_time.limits.seconds_per_video_second = 0;
    const auto late = VerifyPlanned((dir / "file.mov").string(), plan, no_time);
    ASSERT_TRUE(late.has_value());
    EXPECT_EQ(late->end, VerifyEnd::TimedOut);
    EXPECT_FALSE(late->plays_fully());

    // Time the program held it back (paced beside a save) is not its own.
    class HeldLong : public VerifyControl {
      public:
        bool stop_requested() const override { return false; }
        double seconds_held() const override { return 3600; }
    };
    const SourceReader source = *SourceReader::open((dir / "file.mov").string());
    const auto file = AssembledFile::open(source, plan.ranges);
    ASSERT_TRUE(file.has_value());
    EXPECT_TRUE(VerifyDecode(AssembledBytes(*file), HeldLong(), no_time.limits).plays_fully());
}

// A medium pulled out mid-check is not a damaged video.
TEST(Verify, AMediumThatGoesAwaySaysSo) {
    test::TempDir dir;
    const auto mov = CameraFile(17, false);
    WriteFile(dir / "file.mov", mov.bytes());
    VerifyOptions options;
    options.open_source = test::FaultyOpener{{.vanish_at = SampleAt(mov, 40)}}.opener();
    const auto gone = VerifyPlanned(
        (dir / "file.mov").string(),
        {Ranges({{"HEAD", 0, static_cast<std::int64_t>(mov.bytes().size())}}), std::nullopt},
        options);
    ASSERT_FALSE(gone.has_value());
    EXPECT_EQ(gone.error().kind, PreviewFailure::SourceUnreadable);
}

// Bytes that are no video end as "无法解码", never a crash or a hang.
TEST(Verify, FilesThatAreNoVideoCannotBeDecoded) {
    const auto mov = CameraFile(16, true);
    Bytes random_bytes(256 << 10);
    cardgen::SeededRandom random(9);
    std::generate(random_bytes.begin(), random_bytes.end(),
                  [&] { return static_cast<std::uint8_t>(random.next()); });
    Bytes garbage_samples = mov.bytes();
    std::generate(garbage_samples.begin() + SampleAt(mov, 0),
                  garbage_samples.begin() + static_cast<std::ptrdiff_t>(mov.moov_offset()),
                  [&] { return static_cast<std::uint8_t>(random.next()); });
    for (const Bytes& bytes : {mov.head, random_bytes, garbage_samples, Bytes(4096, 0)}) {
        const Verification v = VerifyBytes(bytes);
        EXPECT_EQ(v.frames_decoded, 0);
        EXPECT_EQ(PlayableText(v), "无法解码") << v.detail;
    }
}

TEST(Verify, RowsThatNameNoFileSayWhy) {
    test::TempDir dir;
    WriteFile(dir / "card.img", Bytes(8192, 0));
    const struct {
        std::string path;
        FragmentRanges ranges;
        const char* text;
    } cases[] = {
        {(dir / "missing.img").string(), Ranges({{"HEAD", 0, 100}}), "无法打开源盘"},
        {(dir / "card.img").string(), Ranges({{"HEAD", 0, 99999}}), "碎片列表无效"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlayableText(VerifyPlanned(c.path, {c.ranges, std::nullopt})), c.text);
}

TEST(Verify, PlayableTextSaysHowFarItPlays) {
    auto v = [](VerifyEnd end, std::int64_t listed, std::int64_t decoded,
                std::optional<double> bad) {
        Verification out;
        out.end = end;
        out.frames_listed = listed;
        out.frames_decoded = decoded;
        out.first_bad_seconds = bad;
        return out;
    };
    const struct {
        Verification v;
        const char* text;
    } cases[] = {
        {v(VerifyEnd::Finished, 1500, 1500, {}), "全部 1500/1500 帧"},
        {v(VerifyEnd::Finished, 90000, 72000, 43444.9), "前 12:04:04 可播放"},
        {v(VerifyEnd::Finished, 100, 60, 0.4), "部分可播放 60/100 帧"},
        {v(VerifyEnd::TimedOut, 100, 50, 2.0), "检查超时，前 00:00:02 可播放"},
        {v(VerifyEnd::CannotDecode, 0, 0, {}), "无法解码"},
    };
    for (const auto& c : cases) EXPECT_EQ(PlayableText(c.v), c.text);
    EXPECT_EQ(PlayableText(std::unexpected(PreviewError{PreviewFailure::NoDecoder, ""})),
              "未安装解码模块");
    EXPECT_EQ(PlayableText(std::unexpected(UnplannedRow(true, ""))), "需先用参考文件重建文件头");
    EXPECT_EQ(PlayableText(std::unexpected(UnplannedRow(false, ""))), "碎片列表无效");
}

// Alone it never waits; beside a busy scan or save it waits four times as
// long as it worked, within a bound.
TEST(Verify, PacerYieldsOnlyToOthers) {
    using namespace std::chrono_literals;
    bool busy = false;
    std::vector<ReadPacer::Clock::duration> waits;
    ReadPacer pacer([&] { return busy; }, [&](auto d) { waits.push_back(d); });
    pacer.chunk_done();
    EXPECT_TRUE(waits.empty());
    busy = true;
    std::this_thread::sleep_for(5ms);
    pacer.chunk_done();
    ASSERT_EQ(waits.size(), 1u);
    EXPECT_GE(waits[0], 20ms);
    EXPECT_LE(waits[0], ReadPacer::kMostWait);
}

}  // namespace
}  // namespace tav::preview

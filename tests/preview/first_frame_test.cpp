#include "first_frame.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "assembled_bytes.hpp"
#include "cardgen/mov_builder.hpp"
#include "cardgen/seeded_random.hpp"
#include "row_preview.hpp"
#include "support/cards.hpp"
#include "support/fragment_ranges.hpp"
#include "support/temp_dir.hpp"

namespace tav::preview {
namespace {

using cardgen::Bytes;
using test::Ranges;

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

cardgen::MovFile CameraFile(int frames, int width, int height, bool sound) {
    const auto clip = cardgen::TryEncodeClip(frames, 3, true, width, height, test::TestClipCache());
    EXPECT_TRUE(clip.has_value()) << clip.error();
    cardgen::MovOptions options;
    options.sound_track = sound;
    return cardgen::BuildCameraMov(options, clip ? *clip : cardgen::EncodedClip{});
}

// Spread of the picture's values: a blank (one-colour) frame has none.
double Spread(const RgbImage& image) {
    const auto [lo, hi] = std::minmax_element(image.pixels.begin(), image.pixels.end());
    return lo == image.pixels.end() ? 0 : *hi - *lo;
}

// The start region and the movie header far apart on a card image, as the
// camera leaves them, read through the save's fragment plan.
TEST(FirstFrame, DecodesCameraClipsFromTheirFragments) {
    const struct {
        int frames, width, height;
        bool sound;
        int thumb_width, thumb_height;
    } cases[] = {
        {24, 320, 240, false, 320, 240},
        {30, 640, 360, true, 320, 180},   // scaled down, aspect kept; the sound track ignored
        {20, 176, 144, false, 176, 144},  // narrower than a thumbnail: kept
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        const auto mov = CameraFile(c.frames, c.width, c.height, c.sound);
        Bytes image(4 << 20, 0x5A);
        const std::int64_t head_at = 64 * 1024, moov_at = (3 << 20) + 392;
        std::copy(mov.head.begin(), mov.head.end(), image.begin() + head_at);
        std::copy(mov.moov.begin(), mov.moov.end(), image.begin() + moov_at);
        WriteFile(dir / "card.img", image);
        const auto preview = PreviewFragments(
            (dir / "card.img").string(),
            Ranges({{"HEAD", head_at, head_at + static_cast<std::int64_t>(mov.head.size())},
                    {"moov", moov_at, moov_at + static_cast<std::int64_t>(mov.moov.size())}}));
        ASSERT_TRUE(preview.has_value()) << preview.error().detail;
        EXPECT_EQ(preview->video_width, c.width);
        EXPECT_EQ(preview->video_height, c.height);
        EXPECT_EQ(preview->thumbnail.width, c.thumb_width);
        EXPECT_EQ(preview->thumbnail.height, c.thumb_height);
        ASSERT_TRUE(preview->duration_seconds.has_value());
        EXPECT_NEAR(*preview->duration_seconds, c.frames / double(cardgen::kFramesPerSecond), 0.02);
        EXPECT_GT(Spread(preview->thumbnail), 64);
    }
}

// Whatever is wrong with a file, the answer is CannotDecode, never a crash.
TEST(FirstFrame, DamagedFilesCannotBeDecoded) {
    const auto mov = CameraFile(24, 320, 240, true);
    const Bytes whole = mov.bytes();
    const auto first = static_cast<std::ptrdiff_t>(mov.chunk_offsets.front());
    const auto first_size = static_cast<std::ptrdiff_t>(mov.sample_sizes.front());
    auto first_sample = [&](auto fill) {
        Bytes b = whole;
        fill(b.begin() + first, b.begin() + first + first_size);
        return b;
    };
    auto replaced = [&](std::string_view from, std::string_view to) {
        Bytes b = whole;
        for (auto at = b.begin() + mov.moov_offset();
             (at = std::search(at, b.end(), from.begin(), from.end())) != b.end();)
            at = std::copy(to.begin(), to.end(), at);
        return b;
    };
    const struct {
        Bytes bytes;
        PreviewLimits limits;
        const char* why;
    } cases[] = {
        {mov.head, {}, "no movie header"},
        {Bytes(whole.begin(), whole.end() - static_cast<std::ptrdiff_t>(mov.moov.size() / 2)),
         {},
         "movie header cut short"},
        {first_sample([](auto b, auto e) { std::fill(b, e, 0); }), {}, "first sample zeroed"},
        {first_sample([](auto b, auto e) {
             cardgen::SeededRandom random(7);
             std::generate(b, e, [&] { return static_cast<std::uint8_t>(random.next()); });
         }),
         {},
         "first sample garbage"},
        {replaced("vide", "soun"), {}, "no video track"},
        {Bytes(whole.size(), 0), {}, "all zeros"},
        {whole, {.most_bytes = 4096}, "movie header beyond the read budget"},
        {whole, {.most_packets = 0}, "no packet within the packet budget"},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        WriteFile(dir / "damaged.mov", c.bytes);
        const SourceReader source = *SourceReader::open((dir / "damaged.mov").string());
        const AssembledFile file(source, {{0, static_cast<std::int64_t>(c.bytes.size())}});
        const auto preview = DecodePreview(AssembledBytes(file), c.limits);
        ASSERT_FALSE(preview.has_value());
        EXPECT_EQ(preview.error().kind, PreviewFailure::CannotDecode) << preview.error().detail;
    }
}

TEST(FirstFrame, RowsThatNameNoFileSayWhy) {
    test::TempDir dir;
    WriteFile(dir / "card.img", Bytes(8192, 0));
    EXPECT_EQ(
        PreviewFragments((dir / "missing.img").string(), Ranges({{"HEAD", 0, 100}})).error().kind,
        PreviewFailure::SourceUnreadable);
    EXPECT_EQ(
        PreviewFragments((dir / "card.img").string(), Ranges({{"HEAD", 0, 99999}})).error().kind,
        PreviewFailure::BadFragments);
}

}  // namespace
}  // namespace tav::preview

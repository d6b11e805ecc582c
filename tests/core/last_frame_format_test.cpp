// The last-frame check with the track's framing: the tagged cameras' rule
// still verifies alone, any other stream's last sample is walked whole.

#include <gtest/gtest.h>

#include "platform/source_reader.hpp"
#include "scan/fragment_analysis.hpp"
#include "scan_test_support.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

using scantest::Bytes;

TEST(LastFrameFormat, TheOldRuleOrTheWholeSampleWalked) {
    // An HEVC frame with 2-byte lengths: delimiter (3) and an IDR slice (90).
    Bytes hevc = {0, 3, 0x46, 0x01, 0x50, 0, 90, 0x26, 0x01, 0xAF};
    hevc.resize(hevc.size() + 87, 0x5A);
    const auto size = static_cast<std::uint64_t>(hevc.size());
    scantest::Image image(8192);
    image.put(1000, hevc);
    image.put(3000, scantest::Be32(0x00010009));
    Bytes broken = hevc;
    broken[8] = 0x00;  // the slice's temporal id
    image.put(5000, broken);
    image.put(8192 - 50, Bytes(hevc.begin(), hevc.begin() + 50));
    test::TempDir dir;
    const auto path = dir / "src.bin";
    image.save(path);
    const auto src = std::move(*SourceReader::open(path.string()));
    const NalFormat format{VideoCodec::Hevc, 2};
    EXPECT_FALSE(VerifyLastFrame(src, 1000, size));
    EXPECT_FALSE(VerifyLastFrame(src, 1000, size, std::nullopt));
    EXPECT_TRUE(VerifyLastFrame(src, 1000, size, format));
    EXPECT_FALSE(VerifyLastFrame(src, 1000, size + 1, format));
    EXPECT_FALSE(VerifyLastFrame(src, 5000, size, format));
    EXPECT_TRUE(VerifyLastFrame(src, 3000, 12345, format));       // the delimiter value still does
    EXPECT_FALSE(VerifyLastFrame(src, 8192 - 50, size, format));  // the source ends inside it
}

}  // namespace
}  // namespace tav

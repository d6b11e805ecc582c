// How other cameras' clips pair in a whole scan: a header written first stays
// inside its file and is not copied again, whatever its mdat's size field
// says; a header whose mdat holds a little more than its samples pairs with
// the start before it only when its samples check there.

#include <gtest/gtest.h>

#include "cardgen/other_mov_builder.hpp"
#include "common/byte_order.hpp"
#include "common/decimal.hpp"
#include "scan_test_support.hpp"

namespace tav {
namespace {

cardgen::MovFile Other(bool moov_first, int frames, std::uint64_t seed) {
    cardgen::WriterLayout layout;
    layout.brand = moov_first ? "isom" : "mp42";
    layout.moov_first = moov_first;
    cardgen::MovOptions options;
    options.date = "2019:07:21";
    options.time = "09:15:02";
    return cardgen::BuildOtherMov(options, layout, cardgen::SyntheticClip(frames, seed), nullptr,
                                  seed);
}

class OtherClipPairing : public scantest::RawImageScanTest {
  protected:
    scantest::ScanRun& ScanAny(const scantest::Image& image) {
        ScanSettings any;
        any.FileTypeMov = false;
        any.FileTypeAnyVideo = true;
        return Scan(image, any);
    }
    const TextTable& Outputs() const { return run_->done().outputs; }
};

TEST_F(OtherClipPairing, HeaderFirstIsTheFileItself) {
    for (const bool to_the_end : {false, true}) {
        SCOPED_TRACE(to_the_end ? "mdat size 0" : "mdat size given");
        cardgen::MovFile mov = Other(true, 30, 5);
        if (to_the_end) store_be32(mov.head.data() + mov.mdat_at, 0);
        scantest::Image image(2 << 20, 0x3C);
        const std::int64_t head_at = 80 * 512;
        image.put(head_at, mov.head);
        ScanAny(image);
        ASSERT_EQ(Outputs().row_count(), 1u);
        const auto& row = Outputs().row(0).cells;
        EXPECT_EQ(row[outc::FragmentCount], "1");  // the start region alone
        EXPECT_EQ(row[outc::FileLength], dec(static_cast<std::int64_t>(mov.head.size())));
        EXPECT_EQ(row[outc::Quality], "非常好");
        EXPECT_EQ(row[outc::ShootDate], "2019:07:21 09:15:02");
    }
}

TEST_F(OtherClipPairing, RoomAtTheEndOfTheMediaDataPairsOnlyWhereTheSamplesCheck) {
    const cardgen::MovFile mov = Other(false, 40, 9);
    const cardgen::MovFile other = Other(false, 40, 10);
    // The writer left 3000 bytes after the last sample inside its mdat.
    constexpr std::uint32_t kRoom = 3000;
    cardgen::Bytes head = mov.head;
    head.insert(head.end(), kRoom, 0);
    store_be32(head.data() + mov.mdat_at, load_be32(head.data() + mov.mdat_at) + kRoom);
    for (const bool own_start : {true, false}) {
        SCOPED_TRACE(own_start ? "its own start region" : "another clip's start region");
        scantest::Image image(2 << 20, 0x3C);
        const std::int64_t head_at = 100 * 512;
        // Another clip's start whose mdat ends where this one's does: only
        // its samples tell it apart.
        cardgen::Bytes start = own_start ? head : other.head;
        start.resize(head.size(), 0);
        store_be32(start.data() + mov.mdat_at, load_be32(head.data() + mov.mdat_at));
        image.put(head_at, start);
        image.put(head_at + static_cast<std::int64_t>(start.size()) + 7000, mov.moov);
        ScanAny(image);
        if (!own_start) {
            EXPECT_EQ(Outputs().row_count(), 0u);
            continue;
        }
        ASSERT_EQ(Outputs().row_count(), 1u);
        const auto& row = Outputs().row(0).cells;
        EXPECT_EQ(row[outc::FragmentCount], "2");
        EXPECT_EQ(row[outc::Quality], "非常好");
        // The start region is copied to the end of its mdat, so the header
        // follows the media data where the mdat says.
        const auto list = SplitFragmentList(row[outc::FragmentList]);
        const TextTable& f = run_->done().fragments;
        const auto head_row = static_cast<std::size_t>(*parse_int64(list.front()));
        EXPECT_EQ(f.cell(head_row, frag::EndOffset),
                  dec(head_at + static_cast<std::int64_t>(head.size())));
    }
}

}  // namespace
}  // namespace tav

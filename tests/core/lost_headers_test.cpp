// Start regions no header paired, rebuilt on a source and listed after the
// rows there are; a stop leaves the rest untried.

#include "recovery/lost_headers.hpp"

#include <gtest/gtest.h>

#include <fstream>

#include "cardgen/mov_builder.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

constexpr std::int64_t kLostAt = 4096;

class LostHeadersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto camera = cardgen::BuildCameraMov({}, cardgen::SyntheticClip(6, 2, true));
        frames_ = camera.sample_sizes.size();
        std::vector<std::uint8_t> image(kLostAt, 0);
        image.insert(image.end(), camera.head.begin(), camera.head.end());
        image.resize(image.size() + 8192, 0xEE);  // where its movie atom was
        std::ofstream(dir_ / "card.img", std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
        const auto ref = cardgen::BuildCameraMov({}, cardgen::SyntheticClip(4, 9, true));
        reference_ = ParseReferenceMovie(ByteView(ref.moov)).value();

        tables_.with([&](TableSet& t) {
            // Row 0: the lost one; rows 1 and 2: a pair already listed as 编号 7.
            t.fragments.add_row({"0", "HEAD", std::to_string(kLostAt), "mdat", "", "0", "", "",
                                 "2012:05:03 14:22:10", std::to_string(camera.head.size())});
            t.fragments.add_row({"1", "HEAD", "0", "mdat"});
            t.fragments.add_row({"2", "moov", "100", "moov"});
            AddOutputRow(t.outputs, 7, {"1000", "2", "好", "1,2,", "", "20", ""});
            AddResultRow(t.results, 7, "1000Byte", "2", "好", "20", "");
        });
    }

    test::TempDir dir_;
    ScanTables tables_;
    ReferenceMovie reference_;
    std::size_t frames_ = 0;
};

TEST_F(LostHeadersTest, OnlyTheUnpairedRegionIsRebuiltAndNumberedAfterTheOthers) {
    const auto source = SourceReader::open((dir_ / "card.img").string());
    ASSERT_TRUE(source.has_value());
    const LostHeaders lost = RebuildUnpairedHeads(*source, tables_, {reference_});
    ASSERT_EQ(lost.found.size(), 1u);
    EXPECT_EQ(lost.found[0].offset, kLostAt);
    ASSERT_TRUE(lost.found[0].rebuilt.has_value()) << lost.found[0].rebuilt.error();
    EXPECT_EQ(lost.found[0].rebuilt->source_offset, kLostAt);
    ASSERT_TRUE(lost.rebuilt.contains("8"));
    const TableSet t = tables_.snapshot();
    ASSERT_EQ(t.results.row_count(), 2u);
    EXPECT_EQ(t.results.row(1).cells,
              (std::vector<std::string>{
                  "8", HumanLength(static_cast<std::int64_t>(lost.rebuilt.at("8").size())), "1",
                  "重建", std::to_string(frames_), "2012:05:03 14:22:10"}));
    EXPECT_EQ(t.outputs.cell(1, outc::FragmentList), "0,");

    // Listed now: a second run finds nothing left.
    EXPECT_TRUE(RebuildUnpairedHeads(*source, tables_, {reference_}).found.empty());
}

TEST_F(LostHeadersTest, AStopLeavesTheRegionsUntried) {
    const auto source = SourceReader::open((dir_ / "card.img").string());
    ASSERT_TRUE(source.has_value());
    const StopFlag stop{1};
    const LostHeaders lost = RebuildUnpairedHeads(*source, tables_, {reference_}, &stop);
    EXPECT_TRUE(lost.stopped);
    EXPECT_TRUE(lost.found.empty());
    EXPECT_EQ(tables_.snapshot().results.row_count(), 1u);
}

}  // namespace
}  // namespace tav

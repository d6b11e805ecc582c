#include "recovery/expert_ops.hpp"

#include <gtest/gtest.h>

namespace tav {
namespace {

// A fragment row: SN, start type, start, end type, end, sectors, own length,
// list, quality (other cells filled as the scan leaves them).
void AddFragment(TextTable& t, const std::string& sn, const std::string& type,
                 const std::string& start, const std::string& end_type, const std::string& end,
                 const std::string& sectors, const std::string& own, const std::string& list,
                 const std::string& quality, bool ticked = false) {
    t.add_row({sn, type, start, end_type, end, sectors, "", "", "", own, list, "0", "0",
               type == "HEAD" ? "1" : "0", quality},
              ticked);
}

// Two good files (0+2, 1+3) and a poor header 4 without a start region.
TextTable SampleFragments() {
    TextTable t = make_fragment_table();
    AddFragment(t, "0", "HEAD", "0", "mdat", "900", "1", "900", "", "");
    AddFragment(t, "1", "HEAD", "4096", "mdat", "8191", "7", "5000", "", "");
    AddFragment(t, "2", "moov", "1400", "moov", "1999", "1", "880", "0,2,", "非常好");
    AddFragment(t, "3", "moov", "9000", "moov", "9999", "2", "4990", "1,3,", "好");
    AddFragment(t, "4", "moov", "20000", "moov", "20999", "1", "777", ",4,", "差");
    return t;
}

std::vector<bool> Ticks(const TextTable& t) {
    std::vector<bool> out;
    for (std::size_t r = 0; r < t.row_count(); ++r) out.push_back(t.checked(r));
    return out;
}

TEST(ExpertOps, CopyItemsNeedASelectedRow) {
    const TextTable t = SampleFragments();
    ExpertFields f{"a", "b", "c"};
    CopyCellToField(t, std::nullopt, CopyItem::StartOffset, f);
    CopyCellToField(t, 99, CopyItem::EndOffset, f);
    EXPECT_EQ(f.start_offset + f.end_offset + f.file_length, "abc");

    CopyCellToField(t, 3, CopyItem::StartOffset, f);
    CopyCellToField(t, 3, CopyItem::EndOffset, f);
    EXPECT_EQ(f.start_offset, "9000");
    EXPECT_EQ(f.end_offset, "9999");
    CopyCellToField(t, 3, CopyItem::LengthSectors, f);
    EXPECT_EQ(f.file_length, "2");
    TextTable u = t;
    u.set_cell(3, frag::StszOff, "12345");
    u.set_cell(3, frag::StcoOff, "67890");
    CopyCellToField(u, 3, CopyItem::StszOff, f);
    EXPECT_EQ(f.file_length, "12345");
    CopyCellToField(u, 3, CopyItem::StcoOff, f);
    EXPECT_EQ(f.file_length, "67890");
}

TEST(ExpertOps, TickByQualityLeavesGoodFilesUnticked) {
    TextTable t = SampleFragments();
    EXPECT_FALSE(TickByQuality(t, KeepGrades::VeryGood).has_value());
    EXPECT_EQ(Ticks(t), (std::vector<bool>{false, true, false, true, true}));
    EXPECT_FALSE(TickByQuality(t, KeepGrades::VeryGoodAndGood).has_value());
    EXPECT_EQ(Ticks(t), (std::vector<bool>{false, false, false, false, true}));
}

TEST(ExpertOps, TickByQualityWithoutKeptFilesChangesNothing) {
    TextTable t = SampleFragments();
    t.set_cell(2, frag::Quality, "差");
    t.set_checked(1, true);
    EXPECT_FALSE(TickByQuality(t, KeepGrades::VeryGood).has_value());
    EXPECT_EQ(Ticks(t), (std::vector<bool>{false, true, false, false, false}));
}

TEST(ExpertOps, TickByQualityStopsAtEntryThatIsNoNumber) {
    TextTable t = SampleFragments();
    t.set_cell(2, frag::Fragments, "0,x2,");
    const auto message = TickByQuality(t, KeepGrades::VeryGood);
    ASSERT_TRUE(message.has_value());
    EXPECT_NE(message->text.find("x2"), std::string::npos);
    EXPECT_EQ(Ticks(t), std::vector<bool>(5, false));
}

TEST(ExpertOps, AddTickedFragmentsMakesOneFragmentFiles) {
    TableSet tables;
    tables.fragments = SampleFragments();
    tables.outputs.add_row({"0", "5000", "2", "非常好", "", "0,2,", "25", "2012:05:03 14:22:10"});
    tables.results.add_row({"0", "4.88KB", "2", "非常好", "25", "2012:05:03 14:22:10"});
    for (std::size_t r : {1u, 2u, 4u}) tables.fragments.set_checked(r, true);

    EXPECT_FALSE(AddTickedFragments(tables).has_value());
    // Row 2 is graded 非常好 and passed over; rows 1 (sectors 7) and 4 are added.
    ASSERT_EQ(tables.outputs.row_count(), 3u);
    EXPECT_EQ(tables.outputs.row(1).cells,
              (std::vector<std::string>{"1", "4096", "1", "手动", "", "1,", "", ""}));
    EXPECT_EQ(tables.outputs.row(2).cells,
              (std::vector<std::string>{"2", "1024", "1", "手动", "", "4,", "", ""}));
    ASSERT_EQ(tables.results.row_count(), 3u);
    EXPECT_EQ(tables.results.row(1).cells,
              (std::vector<std::string>{"1", "4096", "1", "手动", "", ""}));
    EXPECT_FALSE(tables.results.checked(1));
}

TEST(ExpertOps, AddTickedFragmentsMessagesAndSilence) {
    TableSet tables;
    tables.fragments = SampleFragments();
    const auto none = AddTickedFragments(tables);
    ASSERT_TRUE(none.has_value());
    EXPECT_EQ(*none,
              (UserMessage{"未选中", "请选中要添加的碎片！", MsgIcon::None, MsgButtons::Ok}));

    tables.fragments.set_checked(2, true);  // only a 非常好 row: nothing, silently
    EXPECT_FALSE(AddTickedFragments(tables).has_value());
    EXPECT_TRUE(tables.outputs.empty());

    tables.fragments.set_checked(1, true);
    tables.fragments.set_cell(1, frag::LengthSectors, "7.5");
    const auto bad = AddTickedFragments(tables);
    ASSERT_TRUE(bad.has_value());
    EXPECT_NE(bad->text.find("7.5"), std::string::npos);
    EXPECT_TRUE(tables.outputs.empty());
}

TEST(ExpertOps, CorrectHeadEndEditsFirstTickedStartRegionOnly) {
    TextTable t = SampleFragments();
    const auto none = CorrectHeadEnd(t);
    ASSERT_TRUE(none.has_value());
    EXPECT_EQ(none->text, "请选中要修改的碎片！");

    t.set_checked(0, true);
    t.set_checked(1, true);
    EXPECT_FALSE(CorrectHeadEnd(t).has_value());
    EXPECT_EQ(t.cell(0, frag::EndOffset), "900");
    EXPECT_EQ(t.cell(0, frag::LengthSectors), "1");
    EXPECT_EQ(t.cell(1, frag::EndOffset), "8191");  // the lower one is untouched

    t.set_checked(0, false);
    EXPECT_FALSE(CorrectHeadEnd(t).has_value());
    EXPECT_EQ(t.cell(1, frag::EndOffset), "9096");
    EXPECT_EQ(t.cell(1, frag::LengthSectors), "9");
}

TEST(ExpertOps, CorrectHeadEndLeavesHeadersAndBadCells) {
    TextTable t = SampleFragments();
    t.set_checked(3, true);  // a movie header: no change
    const TextTable before = t;
    EXPECT_FALSE(CorrectHeadEnd(t).has_value());
    EXPECT_EQ(t, before);

    TextTable u = SampleFragments();
    u.set_checked(1, true);
    u.set_cell(1, frag::OwnLength, "");
    const TextTable unchanged = u;
    EXPECT_FALSE(CorrectHeadEnd(u).has_value());
    EXPECT_EQ(u, unchanged);

    u.set_cell(1, frag::OwnLength, "12abc");
    const auto message = CorrectHeadEnd(u);
    ASSERT_TRUE(message.has_value());
    EXPECT_NE(message->text.find("12abc"), std::string::npos);
    EXPECT_EQ(u.cell(1, frag::EndOffset), "8191");
}

TEST(ExpertOps, AccessCode) {
    for (const char* wrong : {"", "WQNBTRHZD", "wqnbtrhz", "wqnbtrhzd ", " wqnbtrhzd"})
        EXPECT_FALSE(CheckAccessCode(wrong)) << wrong;
    EXPECT_TRUE(CheckAccessCode("wqnbtrhzd"));
    EXPECT_EQ(WrongAccessCodeMessage(),
              (UserMessage{"Fuck", "Your Pass is wrong,Please Again,But Only one!",
                           MsgIcon::Warning, MsgButtons::Ok}));
}

}  // namespace
}  // namespace tav

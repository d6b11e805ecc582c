#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>

#include "scan/scan_tables.hpp"

namespace tav {
namespace {

TEST(HumanLength, PicksUnitByDigitCount) {
    EXPECT_EQ(HumanLength(512), "512Byte");
    EXPECT_EQ(HumanLength(999), "999Byte");
    EXPECT_EQ(HumanLength(1000), "0.98KB");
    EXPECT_EQ(HumanLength(12 * 1024), "12KB");
    EXPECT_EQ(HumanLength(999999), "976.56KB");
    EXPECT_EQ(HumanLength(1000000), "0.95MB");
    // A nine-digit length stays in MB even when it is near a gigabyte.
    EXPECT_EQ(HumanLength(999999999), "953.67MB");
    EXPECT_EQ(HumanLength(1000000000), "0.93GB");
}

TEST(HumanLength, RoundsToHundredthsHalvesToEvenAndDropsTrailingZeros) {
    EXPECT_EQ(HumanLength(1610612736), "1.5GB");  // 1.5 * 1024^3
    EXPECT_EQ(HumanLength(static_cast<std::int64_t>(std::llround(117.74 * 1048576))), "117.74MB");
    EXPECT_EQ(HumanLength(static_cast<std::int64_t>(1.2 * 1073741824.0) - 1), "1.2GB");
    // 1152 bytes are exactly 1.125KB: the half goes to the even hundredth.
    EXPECT_EQ(HumanLength(1152), "1.12KB");
    EXPECT_EQ(HumanLength(1167), "1.14KB");  // 1.1396..., no half
    EXPECT_EQ(HumanLength(1044480), "1MB");  // 0.996... rounds up to a whole unit
}

TEST(HumanLength, NegativeLengthsAreShownInBytes) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {-1, "-1Byte"},
        {-123456789, "-123456789Byte"},
        {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808Byte"},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(HumanLength(bytes), text) << bytes;
}

TEST(SplitFragmentList, EmptyRunsAreEntriesAndTheTailIsIgnored) {
    EXPECT_EQ(SplitFragmentList("12,3,"), (std::vector<std::string>{"12", "3"}));
    EXPECT_EQ(SplitFragmentList(",7,"), (std::vector<std::string>{"", "7"}));
    EXPECT_EQ(SplitFragmentList("12,15"), (std::vector<std::string>{"12"}));
    EXPECT_TRUE(SplitFragmentList("").empty());
    EXPECT_TRUE(SplitFragmentList("12").empty());
}

TEST(FragmentTable, AddsRowsWithTheStagedCellsInColumnOrder) {
    TextTable t = make_fragment_table();
    ASSERT_EQ(t.column_count(), 15u);
    StagedFragmentRow s{"HEAD", "4096", "mdat", "8191", "7", "", "", "2012:05:03 14:22:10",
                        "1000", "0",    "0",    "1"};
    AddFragmentRow(t, 0, s);  // a count of 0 adds nothing
    EXPECT_EQ(t.row_count(), 0u);
    AddFragmentRow(t, 1, s);
    ASSERT_EQ(t.row_count(), 1u);
    EXPECT_EQ(t.cell(0, frag::SN), "1");
    EXPECT_EQ(t.cell(0, frag::StartOffset), "4096");
    EXPECT_EQ(t.cell(0, frag::OwnLength), "1000");
    EXPECT_EQ(t.cell(0, frag::Fragments), "");
    EXPECT_EQ(t.cell(0, frag::StszOff), "0");
    EXPECT_EQ(t.cell(0, frag::Order), "1");
    EXPECT_EQ(t.cell(0, frag::Quality), "");
}

TEST(FragmentTable, SortByOrderIsStableAndNumeric) {
    TextTable t = make_fragment_table();
    auto add = [&](const char* sn, const char* type, const char* order) {
        t.add_row({sn, type, "", "", "", "", "", "", "", "", "", "", "", order, ""});
    };
    add("1", "HEAD", "1");
    add("2", "moov", "0");
    add("3", "HEAD", "1");
    add("4", "moov", "0");
    add("5", "HEAD", "10");
    add("6", "HEAD", "9");
    t.sort_by_column(frag::Order);
    std::vector<std::string> sns;
    for (const auto& r : t.rows()) sns.push_back(r.cells[0]);
    EXPECT_EQ(sns, (std::vector<std::string>{"2", "4", "1", "3", "6", "5"}));
}

TEST(CompareOrder, NonNumbersCompareEqual) {
    TableRow a{{"900", "1.5GB"}}, b{{"1000", "117.74MB"}};
    EXPECT_EQ(CompareOrder(a, b, 0), -1);
    EXPECT_EQ(CompareOrder(b, a, 0), 1);
    EXPECT_EQ(CompareOrder(a, b, 1), 0);
    EXPECT_EQ(CompareOrder(a, a, 0), 0);
    EXPECT_EQ(CompareOrder(a, b, 7), 0);
}

TEST(TextTable, OutOfRangeAccessIsHarmless) {
    TextTable t = make_result_list();
    t.add_row({"0", "1.5GB", "2"});
    EXPECT_EQ(t.cell(0, resc::Frames), "");
    EXPECT_EQ(t.cell(5, 0), "");
    t.set_cell(5, 0, "x");
    t.set_checked(9, true);
    EXPECT_FALSE(t.checked(9));
    EXPECT_EQ(t.row(0).cells.size(), 6u);
}

}  // namespace
}  // namespace tav

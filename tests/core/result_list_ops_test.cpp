#include "recovery/result_list_ops.hpp"

#include <gtest/gtest.h>

namespace tav {
namespace {

TextTable Results(std::initializer_list<std::vector<std::string>> rows) {
    TextTable t = make_result_list();
    for (const auto& r : rows) t.add_row(r);
    return t;
}

std::vector<std::string> Column(const TextTable& t, std::size_t col) {
    std::vector<std::string> out;
    for (std::size_t r = 0; r < t.row_count(); ++r) out.push_back(t.cell(r, col));
    return out;
}

std::vector<bool> Ticks(const TextTable& t) {
    std::vector<bool> out;
    for (std::size_t r = 0; r < t.row_count(); ++r) out.push_back(t.checked(r));
    return out;
}

TEST(ResultListOps, TickAllAndInvert) {
    TextTable t = Results({{"0"}, {"1"}, {"2"}});
    InvertTicks(t);  // nothing ticked: everything becomes ticked
    EXPECT_EQ(Ticks(t), (std::vector<bool>{true, true, true}));
    t.set_checked(1, false);
    InvertTicks(t);
    InvertTicks(t);  // twice gives the ticks back
    EXPECT_EQ(Ticks(t), (std::vector<bool>{true, false, true}));
    EXPECT_EQ(CountTicked(t), 2u);
    TickAll(t);
    EXPECT_EQ(CountTicked(t), 3u);
}

TEST(ResultListOps, SortIsNumericAscendingAndKeepsTicksWithRows) {
    TextTable t = Results({{"0", "1.5GB", "2", "好", "1000", ""},
                           {"1", "12KB", "2", "好", "900", ""},
                           {"2", "3MB", "2", "非常好", "25", ""}});
    t.set_checked(0, true);
    SortResultList(t, resc::Frames);
    EXPECT_EQ(Column(t, resc::Frames), (std::vector<std::string>{"25", "900", "1000"}));
    EXPECT_EQ(Ticks(t), (std::vector<bool>{false, false, true}));
    SortResultList(t, resc::Frames);  // no direction toggle
    EXPECT_EQ(Column(t, resc::Frames), (std::vector<std::string>{"25", "900", "1000"}));
    SortResultList(t, resc::Number);
    EXPECT_EQ(Column(t, resc::Number), (std::vector<std::string>{"0", "1", "2"}));
}

TEST(ResultListOps, TextColumnsCompareEqualAndKeepOrder) {
    TextTable t = Results({{"2", "1.5GB"}, {"0", "12KB"}, {"1", "3MB"}});
    SortResultList(t, resc::FileLength);
    EXPECT_EQ(Column(t, resc::Number), (std::vector<std::string>{"2", "0", "1"}));
    SortResultList(t, resc::Quality);
    EXPECT_EQ(Column(t, resc::Number), (std::vector<std::string>{"2", "0", "1"}));
}

// Hand-added rows carry plain byte counts; mixed with unit texts the
// comparison is no order at all, and the sort must still finish with every
// row present exactly once.
TEST(ResultListOps, MixedColumnSortsSafely) {
    TextTable t = make_result_list();
    for (int i = 0; i < 200; ++i)
        t.add_row({std::to_string(i), i % 3 == 0 ? "1.5GB" : std::to_string((i * 7919) % 1000)});
    SortResultList(t, resc::FileLength);
    ASSERT_EQ(t.row_count(), 200u);
    std::vector<std::string> numbers = Column(t, resc::Number);
    std::sort(numbers.begin(), numbers.end());
    EXPECT_EQ(std::unique(numbers.begin(), numbers.end()), numbers.end());
    SortResultList(t, resc::Number);
    for (std::size_t r = 0; r < t.row_count(); ++r)
        EXPECT_EQ(t.cell(r, resc::Number), std::to_string(r));
}

}  // namespace
}  // namespace tav

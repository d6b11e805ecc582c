#include "recovery/output_name.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "recovery/length_sum.hpp"

namespace tav {
namespace {

TEST(OutputName, CameraRowsAndHandAddedRows) {
    EXPECT_EQ(MakeOutputName("3", "1520", "2012:05:03 14:22:10"),
              "VYR-3-1520-2012-05-03 14-22-10.mov");
    EXPECT_EQ(MakeOutputName("7", "", ""), "VYR-7--.mov");
    // A trailing NUL of the camera's tag is dropped.
    EXPECT_EQ(MakeOutputName("0", "25", std::string("2012:05:03 14:22:10\0", 20)),
              "VYR-0-25-2012-05-03 14-22-10.mov");
    // Non-ASCII text that is well-formed UTF-8 stays.
    EXPECT_EQ(MakeOutputName("1", "2", "二〇一二"), "VYR-1-2-二〇一二.mov");
}

// Cells can come from a damaged card or an edited scan-result file: the name
// must stay one plain file name inside the output folder.
TEST(OutputName, HostileCellsStayInsideTheFolder) {
    const std::string hostile[] = {
        "../../x",
        "..\\..\\windows\\system32\\x",
        "/etc/passwd",
        std::string("a\0b", 3),
        "line\nbreak\r",
        "<>:\"|?*",
        "..",
        "....",
        std::string(1000, 'A'),
        "\xff\xfe bad utf8 \xc3",
        std::string("\0", 1),
    };
    for (const auto& text : hostile) {
        for (int field = 0; field < 3; ++field) {
            const std::string name = MakeOutputName(
                field == 0 ? text : "1", field == 1 ? text : "2", field == 2 ? text : "d");
            SCOPED_TRACE(name);
            EXPECT_EQ(name.rfind("VYR-", 0), 0u);
            EXPECT_TRUE(name.ends_with(".mov"));
            EXPECT_EQ(name.find_first_of("/\\<>:\"|?*"), std::string::npos);
            EXPECT_EQ(name.find(".."), std::string::npos);
            for (unsigned char c : name) EXPECT_GE(c, 0x20);
            EXPECT_LE(name.size(), 200u);
            const std::filesystem::path p = std::filesystem::path("/out") / name;
            EXPECT_EQ(p.parent_path(), "/out");
            EXPECT_EQ(p.filename().string(), name);
        }
    }
}

TEST(OutputName, LongTextIsCutOnCharacterBoundary) {
    std::string date;
    for (int i = 0; i < 40; ++i) date += "年";  // 3 bytes each
    const std::string part = SafeNamePart(date, 64);
    EXPECT_EQ(part.size(), 63u);
    EXPECT_EQ(part, date.substr(0, 63));
}

TEST(LengthText, UnitsAndRounding) {
    EXPECT_EQ(ParseLengthText("1.5GB"), 1610612736);
    EXPECT_EQ(ParseLengthText("117.74MB"), 123459338);  // 123459338.24 rounded
    EXPECT_EQ(ParseLengthText("12KB"), 12288);
    EXPECT_EQ(ParseLengthText("512Byte"), 512);
    EXPECT_EQ(ParseLengthText("1.2GB"), 1288490189);  // 1288490188.8 rounded
}

TEST(LengthText, TextsWithoutUnitOrNumberCountZero) {
    EXPECT_EQ(ParseLengthText("4096"), 0);  // a hand-added row's plain byte count
    EXPECT_EQ(ParseLengthText(""), 0);
    EXPECT_EQ(ParseLengthText("GB"), 0);
    EXPECT_EQ(ParseLengthText("abcMB"), 0);
    EXPECT_EQ(ParseLengthText("1,5GB"), 0);
    EXPECT_EQ(ParseLengthText("-3KB"), 0);
    EXPECT_EQ(ParseLengthText("1e3KB"), 0);
    EXPECT_EQ(ParseLengthText("99999999999999999999GB"), INT64_MAX);
}

TEST(LengthText, SumCountsTickedRowsOnly) {
    TextTable results = make_result_list();
    results.add_row({"0", "1.5GB"}, true);
    results.add_row({"1", "117.74MB"}, true);
    results.add_row({"2", "3GB"}, false);
    results.add_row({"3", "4096"}, true);
    EXPECT_EQ(SumTickedLengths(results), 1610612736 + 123459338);
    results.add_row({"4", "99999999999999999999GB"}, true);
    results.add_row({"5", "99999999999999999999GB"}, true);
    EXPECT_EQ(SumTickedLengths(results), INT64_MAX);  // saturates, never wraps
}

}  // namespace
}  // namespace tav

#include "recovery/output_name.hpp"

#include <gtest/gtest.h>

#include <filesystem>

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

}  // namespace
}  // namespace tav

#include "recovery/scan_result_file.hpp"

#include <gtest/gtest.h>

#include <fstream>

#include "core/recovery_test_support.hpp"
#include "recovery/base64.hpp"
#include "recovery/cp936_text.hpp"
#include "recovery/scan_result_lines.hpp"
#include "scan/scan_settings.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

using test::RecordingReporter;

const UserMessage kDecodeError{"日志转换LV出错", "日志文件加载LV表出错", MsgIcon::Warning,
                               MsgButtons::Ok};

TableSet Filled() {
    TableSet t;
    t.fragments.add_row({"0", "HEAD", "4096", "mdat", "1052672", "2048", "", "",
                         "2012:05:03 14:22:10", "1048576", "", "0", "0", "1", ""});
    t.fragments.add_row({"1", "moov", "2000392", "moov", "2003391", "5", "1051648", "250", "",
                         "1048576", "0,1,", "2001000", "2002000", "0", "非常好"});
    t.outputs.add_row({"0", "1051648", "2", "非常好", "", "0,1,", "250", "2012:05:03 14:22:10"});
    t.outputs.add_row({"1", "3072", "1", "手动", "", "0,", "", ""});
    t.results.add_row({"0", "1MB", "2", "非常好", "250", "2012:05:03 14:22:10"}, true);
    t.results.add_row({"1", "3072", "1", "手动", "", ""}, true);
    t.source_field = "/媒体/卡 2/佳能.img";
    t.file_type = kFileTypeAnyText;
    return t;
}

void WriteText(const std::filesystem::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

std::string EncodedFile(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += Base64Encode(*Utf8ToCp936(l)) + "\r\n";
    return out;
}

TEST(Base64, Rfc4648Vectors) {
    const std::pair<const char*, const char*> v[] = {{"", ""},
                                                     {"f", "Zg=="},
                                                     {"fo", "Zm8="},
                                                     {"foo", "Zm9v"},
                                                     {"foob", "Zm9vYg=="},
                                                     {"fooba", "Zm9vYmE="},
                                                     {"foobar", "Zm9vYmFy"}};
    for (const auto& [plain, coded] : v) {
        EXPECT_EQ(Base64Encode(plain), coded);
        EXPECT_EQ(Base64Decode(coded), plain);
    }
    for (const char* bad : {"Zm9 v", "Zm9v\t", "Z", "Zm=9", "Zm9v====", "Zm,v", "Zg==Zg=="})
        EXPECT_FALSE(Base64Decode(bad).has_value()) << bad;
}

TEST(ScanResultFile, SplitRowLine) {
    EXPECT_EQ(SplitRowLine("a^^b"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(SplitRowLine(""), (std::vector<std::string>{""}));
    EXPECT_EQ(SplitRowLine("x^"), (std::vector<std::string>{"x", ""}));
}

TEST(ScanResultFile, RoundTripRestoresEveryCellAndSource) {
    test::TempDir dir;
    const auto file = Utf8FromPath(dir / "结果 1.vyr");
    const TableSet saved = Filled();
    RecordingReporter rep;
    ASSERT_TRUE(SaveScanResult(ScanTables(saved), saved.source_field, file, rep));
    EXPECT_TRUE(rep.boxes.empty());

    ScanTables tables;
    ASSERT_TRUE(LoadScanResult(tables, file, rep));
    const TableSet loaded = tables.snapshot();
    EXPECT_EQ(loaded.source_field, saved.source_field);
    EXPECT_EQ(loaded.file_type, saved.file_type);
    EXPECT_EQ(loaded.fragments, saved.fragments);
    EXPECT_EQ(loaded.outputs, saved.outputs);
    ASSERT_EQ(loaded.results.row_count(), 2u);
    for (std::size_t r = 0; r < 2; ++r) {
        EXPECT_EQ(loaded.results.row(r).cells, saved.results.row(r).cells);
        EXPECT_FALSE(loaded.results.checked(r));  // ticks are not stored
    }
    // The file's text lines are CP936, not UTF-8.
    const auto bytes = test::ReadAll(PathFromUtf8(file));
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text.substr(0, text.find("\r\n")), Base64Encode(*Utf8ToCp936(saved.source_field)));
}

TEST(ScanResultFile, EmptyScanIsFiveLinesAndLoadsEmpty) {
    test::TempDir dir;
    const auto file = (dir / "empty.vyr").string();
    ScanTables empty;
    RecordingReporter rep;
    ASSERT_TRUE(SaveScanResult(empty, "", file, rep));
    const auto bytes = test::ReadAll(file);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              EncodedFile({"", std::string(27, '='), std::string(27, '='), std::string(28, '='),
                           std::string(29, '=')}));
    TableSet old;
    old.source_field = "old";
    old.file_type = kFileTypeTaggedText;
    ScanTables tables(old);
    ASSERT_TRUE(LoadScanResult(tables, file, rep));
    const TableSet loaded = tables.snapshot();
    EXPECT_EQ(loaded.source_field, "");
    EXPECT_EQ(loaded.file_type, "");  // a file that does not say which type it looked for
    EXPECT_TRUE(loaded.fragments.empty() && loaded.outputs.empty() && loaded.results.empty());
}

TEST(ScanResultFile, RowsAreAddedToExistingRowsAndFieldsPadded) {
    test::TempDir dir;
    const auto file = dir / "short.vyr";
    WriteText(file, EncodedFile({"src", std::string(27, '='), "5^HEAD", std::string(27, '='),
                                 "0^1^2^3^4^5^6^7^8^9", std::string(28, '='), std::string(29, '='),
                                 "ignored after the end"}));
    TableSet before;
    before.fragments.add_row({"old"});
    ScanTables tables(before);
    RecordingReporter rep;
    ASSERT_TRUE(LoadScanResult(tables, file.string(), rep));
    const TableSet t = tables.snapshot();
    ASSERT_EQ(t.fragments.row_count(), 2u);
    EXPECT_EQ(t.fragments.cell(1, frag::SN), "5");
    EXPECT_EQ(t.fragments.cell(1, frag::StartType), "HEAD");
    EXPECT_EQ(t.fragments.cell(1, frag::Quality), "");
    ASSERT_EQ(t.outputs.row_count(), 1u);
    EXPECT_EQ(t.outputs.row(0).cells.size(), 8u);
    EXPECT_EQ(t.outputs.cell(0, outc::ShootDate), "7");
}

TEST(ScanResultFile, LineEndingsCrOrLfAreAccepted) {
    test::TempDir dir;
    std::string text = EncodedFile({"src", std::string(27, '='), "1^moov", std::string(27, '='),
                                    std::string(28, '='), std::string(29, '=')});
    for (const char* ending : {"\n", "\r"}) {
        std::string t2;
        for (char c : text)
            if (c != '\r' && c != '\n')
                t2 += c;
            else if (c == '\n')
                t2 += ending;
        WriteText(dir / "e.vyr", t2);
        ScanTables t;
        RecordingReporter rep;
        EXPECT_TRUE(LoadScanResult(t, (dir / "e.vyr").string(), rep));
        EXPECT_EQ(t.snapshot().fragments.row_count(), 1u);
    }
}

// Damaged files fail as a whole before any row or the source changes.
TEST(ScanResultFile, DamagedFilesFailCleanly) {
    const std::string sep27(27, '='), sep28(28, '='), sep29(29, '=');
    std::string good = EncodedFile({"src", sep27, "1^moov", sep27, sep28, sep29});
    std::string with_space = good;
    with_space.insert(good.find("\r\n") + 4, " ");
    const std::pair<std::string, std::string> cases[] = {
        {with_space, "a blank inside the Base64 text"},
        {EncodedFile({"src", sep27, "1^moov", sep27, sep28}), "no closing separator"},
        {EncodedFile({"src", sep27, "1^moov"}), "no separators"},
        {"", "no line at all"},
        {"Zm9v!\r\n", "a character outside + .. z"},
        {"Zm9v,A==\r\n", "not Base64 though in range"},
        {Base64Encode("\x81") + "\r\n", "not CP936"},
        {std::string(3 << 20, 'A') + "\r\n", "a line of 3 MiB"},
    };
    test::TempDir dir;
    for (const auto& [text, why] : cases) {
        SCOPED_TRACE(why);
        WriteText(dir / "bad.vyr", text);
        TableSet kept;
        kept.source_field = "kept";
        ScanTables t(kept);
        RecordingReporter rep;
        EXPECT_FALSE(LoadScanResult(t, (dir / "bad.vyr").string(), rep));
        EXPECT_EQ(t.snapshot().source_field, "kept");
        EXPECT_TRUE(t.snapshot().fragments.empty());
        EXPECT_EQ(rep.boxes, std::vector<UserMessage>{kDecodeError});
    }
}

TEST(ScanResultFile, WorkerShowsOutcomeBoxes) {
    test::TempDir dir;
    const TableSet filled = Filled();
    ScanTables t(filled);
    {
        RecordingReporter rep;
        TFileOrLv save(TFileOrLv::kSave, (dir / "r.vyr").string(), t, rep);
        save.Start();
        save.Join();
        ASSERT_EQ(rep.boxes.size(), 1u);
        EXPECT_EQ(rep.boxes[0], (UserMessage{"保存成功", "成功保存日志文件!", MsgIcon::Information,
                                             MsgButtons::Ok}));
    }
    {
        RecordingReporter rep;
        TFileOrLv save(TFileOrLv::kSave, (dir / "no such folder" / "r.vyr").string(), t, rep);
        EXPECT_FALSE(save.Execute());
        ASSERT_EQ(rep.boxes.size(), 2u);
        EXPECT_EQ(rep.boxes[0].caption, "转换出错");
        EXPECT_EQ(rep.boxes[0].text, "LV转换日志文件出错!");
        EXPECT_EQ(rep.boxes[1].caption, "保存失败");
        EXPECT_EQ(rep.boxes[1].text, "保存日志文件失败!");
    }
    {
        RecordingReporter rep;
        ScanTables loaded;
        TFileOrLv load(TFileOrLv::kLoad, (dir / "r.vyr").string(), loaded, rep);
        EXPECT_TRUE(load.Execute());
        EXPECT_EQ(loaded.snapshot().fragments, filled.fragments);
        ASSERT_EQ(rep.boxes.size(), 1u);
        EXPECT_EQ(rep.boxes[0].caption, "加载成功");
        EXPECT_EQ(rep.boxes[0].text, "成功加载日志文件!");
    }
    {
        RecordingReporter rep;
        ScanTables loaded;
        TFileOrLv load(TFileOrLv::kLoad, (dir / "missing.vyr").string(), loaded, rep);
        EXPECT_FALSE(load.Execute());
        ASSERT_EQ(rep.boxes.size(), 2u);
        EXPECT_EQ(rep.boxes[0],
                  (UserMessage{"加载出错", "加载日志文件出错!", MsgIcon::Warning, MsgButtons::Ok}));
        EXPECT_EQ(rep.boxes[1].caption, "加载失败");
        EXPECT_EQ(rep.boxes[1].text, "加载日志文件失败!");
    }
}

TEST(ScanResultFile, SaveFailsOnTextWithoutCp936Form) {
    test::TempDir dir;
    ScanTables t;
    RecordingReporter rep;
    EXPECT_FALSE(SaveScanResult(t, "\xF0\x9F\x8E\xA5 camera", (dir / "x.vyr").string(), rep));
    EXPECT_FALSE(std::filesystem::exists(dir / "x.vyr"));
    ASSERT_EQ(rep.boxes.size(), 1u);
    EXPECT_EQ(rep.boxes[0].caption, "转换出错");
}

TEST(ScanResultFile, DefaultNameAndEmptyPathMessages) {
    std::tm t{};
    t.tm_year = 112, t.tm_mon = 4, t.tm_mday = 1, t.tm_hour = 14, t.tm_min = 3, t.tm_sec = 59;
    EXPECT_EQ(DefaultScanResultName(t), "ZoruzAvu-2012-05-01 14-03-59.vyr");
    EXPECT_EQ(EmptySavePathMessage().text, "保存路径不能为空，请重新设置!");
    EXPECT_EQ(EmptyLoadPathMessage().text, "加载路径不能为空，请重新设置!");
    EXPECT_EQ(EmptyLoadPathMessage().caption, "路径为空");
}

}  // namespace
}  // namespace tav

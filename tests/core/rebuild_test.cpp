#include "recovery/rebuild_worker.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/recovery_test_support.hpp"
#include "recovery/output_name.hpp"
#include "recovery/result_list_ops.hpp"
#include "support/faulty_device.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

using test::PatternBytes;
using test::ReadAll;
using test::RecordingReporter;

constexpr std::int64_t kImageSize = 4 << 20;
constexpr std::int64_t kHeadStart = 65536;
constexpr std::int64_t kHeadLength = 200000;
constexpr std::int64_t kMoovStart = 3 * 1048576 + 7 * 512 + 392;
constexpr std::int64_t kMoovLength = 3000;

std::vector<std::uint8_t> Concat(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The paired file 0 (rows 0 and 1) as a two-fragment file.
std::vector<std::uint8_t> ExpectedPairedFile() {
    return Concat(PatternBytes(kHeadStart, kHeadLength),
                  PatternBytes(kMoovStart, (kMoovLength / 512 + 6) * 512 - 392));
}

class RebuildTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directory(dir_ / "out");
        test::WritePatternImage(image_, kImageSize);
        Edit([&](TableSet& t) {
            t.fragments.add_row({"0", "HEAD", std::to_string(kHeadStart), "mdat",
                                 std::to_string(kHeadStart + kHeadLength), "390", "", "",
                                 "2012:05:03 14:22:10", std::to_string(kHeadLength), "", "0", "0",
                                 "1", ""});
            t.fragments.add_row({"1", "moov", std::to_string(kMoovStart), "moov",
                                 std::to_string(kMoovStart + kMoovLength - 1), "6", "", "250", "",
                                 "", "0,1,", "0", "0", "0", "非常好"});
            t.source_field = image_.string();
        });
        AddFile("0", "2", "0,1,", "250", "2012:05:03 14:22:10", "198.24KB");
    }

    void AddFile(const std::string& number, const std::string& count, const std::string& list,
                 const std::string& frames, const std::string& date, const std::string& length,
                 bool ticked = true) {
        Edit([&](TableSet& t) {
            t.outputs.add_row({number, "0", count, "好", "", list, frames, date});
            t.results.add_row({number, length, count, "好", frames, date}, ticked);
        });
    }

    template <class F>
    void Edit(F&& f) {
        tables_.with(std::forward<F>(f));
    }
    std::size_t Ticked() const { return CountTicked(tables_.snapshot().results); }

    RebuildHooks Plenty() {
        RebuildHooks hooks;
        hooks.query_free_space = [](const std::string&) {
            return std::optional<FolderSpace>(FolderSpace{"/mnt/out", 1'000'000'000});
        };
        return hooks;
    }

    RebuildSummary Run(RebuildHooks hooks, std::string folder = {},
                       const RebuiltFiles* rebuilt = nullptr) {
        if (folder.empty()) folder = (dir_ / "out").string() + "/";
        TPstRebuild worker({image_.string(), folder, nullptr, rebuilt}, tables_, rep_, in_progress_,
                           std::move(hooks));
        worker.Start();
        worker.Join();
        EXPECT_FALSE(in_progress_.load());
        EXPECT_EQ(rep_.last_status(0), "就绪");
        EXPECT_EQ(rep_.last_status(2), "");
        return worker.summary();
    }

    std::filesystem::path Out(const std::string& name) { return dir_ / "out" / name; }

    test::TempDir dir_;
    std::filesystem::path image_ = dir_ / "card.img";
    ScanTables tables_;
    RecordingReporter rep_;
    std::atomic<bool> in_progress_{false};
};

TEST_F(RebuildTest, SavesTickedRowsWithExactLog) {
    AddFile("1", "1", "0,", "", "", "4096", false);  // unticked: passed over
    AddFile("2", "1", "1,", "", "", "4096");
    const auto summary = Run(Plenty());

    EXPECT_EQ(summary.end, RebuildEnd::Finished);
    EXPECT_EQ(ReadAll(Out("VYR-0-250-2012-05-03 14-22-10.mov")), ExpectedPairedFile());
    EXPECT_EQ(ReadAll(Out("VYR-2--.mov")),
              PatternBytes(kMoovStart, (kMoovLength - 1) / 512 * 512 + 1024));
    EXPECT_FALSE(std::filesystem::exists(Out("VYR-1--.mov")));

    EXPECT_EQ(
        rep_.messages(),
        (std::vector<std::string>{
            "开始计算输出盘符剩余空间......", "输出盘符/mnt/out剩余空间为:1000000000Byte",
            "开始计算所选文件的长度......", "所选文件长度为208824Byte", "准备写入编号0文件......",
            "编号0写入成功", "准备写入编号2文件......", "编号2写入成功"}));
    EXPECT_EQ(rep_.status.front(), (std::pair<int, std::string>{0, "开始重组......"}));
    EXPECT_NE(std::find(rep_.status.begin(), rep_.status.end(),
                        std::pair<int, std::string>{2, "当前保存编号为:2"}),
              rep_.status.end());
    EXPECT_EQ(rep_.gauge_max, 3);
    EXPECT_EQ(rep_.gauge_positions, (std::vector<std::int64_t>{0, 1, 3}));
    EXPECT_EQ(Ticked(), 0u);
    ASSERT_EQ(summary.files.size(), 2u);
    EXPECT_TRUE(summary.files[0].written && summary.files[1].written);
}

// A rebuilt row: its start region with the mdat size patched, then the new
// header; graded 重建 without its header (none, or one built for another
// start region) it is not saved at all.
TEST_F(RebuildTest, RebuiltRowsWriteThePatchedRegionAndTheirHeader) {
    constexpr std::int64_t kPairedFile = kHeadLength + (kMoovLength / 512 + 6) * 512 - 392;
    Edit([](TableSet& t) {
        for (const char* n : {"1", "2", "3"}) {
            t.outputs.add_row({n, "1003", "1", "重建", "", "0,", "20", ""});
            t.results.add_row({n, "1003Byte", "1", "重建", "20", ""}, true);
        }
    });
    RebuiltFile file;
    file.source_offset = kHeadStart;
    file.copy_length = 1000;
    file.patch_at = 20;
    file.patch = {1, 2, 3, 4};
    file.moov = {9, 9, 9};
    RebuiltFile elsewhere = file;
    elsewhere.source_offset += 512;
    const RebuiltFiles rebuilt = {{"1", file}, {"3", elsewhere}};
    const auto summary = Run(Plenty(), {}, &rebuilt);

    auto want = PatternBytes(kHeadStart, 1000);
    std::copy(file.patch.begin(), file.patch.end(), want.begin() + 20);
    EXPECT_EQ(ReadAll(Out("VYR-1-20-.mov")), Concat(want, file.moov));
    EXPECT_EQ(summary.selected_bytes, kPairedFile + 1003);
    ASSERT_EQ(summary.files.size(), 4u);
    EXPECT_TRUE(summary.files[1].written && summary.files[1].rebuilt);
    EXPECT_NE(summary.files[2].error.find("没有重建的文件头"), std::string::npos);
    EXPECT_NE(summary.files[3].error.find("不属于"), std::string::npos);
    for (const char* name : {"VYR-2-20-.mov", "VYR-3-20-.mov"})
        EXPECT_FALSE(std::filesystem::exists(Out(name))) << name;
}

// The sum is what will be read and written, whatever the length texts say
// (a scan-result file can make them say anything).
TEST_F(RebuildTest, FreeSpaceEqualToSumIsRefused) {
    constexpr std::int64_t kPairedFile = kHeadLength + (kMoovLength / 512 + 6) * 512 - 392;
    Edit([](TableSet& t) { t.results.set_cell(0, resc::FileLength, "117.74MB"); });
    AddFile("1", "2", "0,1,", "", "", "1.5GB");
    RebuildHooks hooks;
    hooks.query_free_space = [](const std::string&) {
        return std::optional<FolderSpace>(FolderSpace{"/mnt", 2 * kPairedFile});
    };
    const auto summary = Run(hooks);
    EXPECT_EQ(summary.end, RebuildEnd::TooLittleSpace);
    EXPECT_EQ(summary.selected_bytes, 2 * kPairedFile);
    ASSERT_EQ(rep_.boxes.size(), 1u);
    EXPECT_EQ(
        rep_.boxes[0],
        (UserMessage{"提示", "保存路径中输出磁盘容量太小，请重新选择容量较大的盘符来保存文件！",
                     MsgIcon::Question, MsgButtons::Ok}));
    EXPECT_TRUE(std::filesystem::is_empty(dir_ / "out"));
    EXPECT_EQ(Ticked(), 2u);

    // One byte more and it goes.
    RecordingReporter again;
    hooks.query_free_space = [](const std::string&) {
        return std::optional<FolderSpace>(FolderSpace{"/mnt", 2 * kPairedFile + 1});
    };
    TPstRebuild worker({image_.string(), (dir_ / "out").string(), nullptr}, tables_, again,
                       in_progress_, hooks);
    worker.Execute();
    EXPECT_EQ(worker.summary().end, RebuildEnd::Finished);
    EXPECT_TRUE(again.logged("编号1写入成功"));
}

TEST_F(RebuildTest, UnknownFreeSpaceIsRefused) {
    RebuildHooks hooks;
    hooks.query_free_space = [](const std::string&) { return std::optional<FolderSpace>(); };
    EXPECT_EQ(Run(hooks).end, RebuildEnd::TooLittleSpace);
    EXPECT_TRUE(rep_.logged("输出盘符剩余空间计算失败"));
    // The real query on a folder that does not exist fails the same way.
    RecordingReporter other;
    TPstRebuild worker({image_.string(), (dir_ / "missing").string(), nullptr}, tables_, other,
                       in_progress_);
    worker.Execute();
    EXPECT_EQ(worker.summary().end, RebuildEnd::TooLittleSpace);
}

TEST_F(RebuildTest, ResortedListSavesEachRowFromItsOwnOutputRow) {
    AddFile("1", "1", "1,", "100", "", "4096");
    AddFile("2", "1", "0,", "5", "", "4096");
    Edit([](TableSet& t) { SortResultList(t.results, resc::Frames); });  // now 2, 1, 0
    Run(Plenty());
    EXPECT_EQ(ReadAll(Out("VYR-0-250-2012-05-03 14-22-10.mov")), ExpectedPairedFile());
    EXPECT_EQ(ReadAll(Out("VYR-1-100-.mov")).size(), (kMoovLength - 1) / 512 * 512 + 1024u);
    EXPECT_EQ(ReadAll(Out("VYR-2-5-.mov")),
              PatternBytes(kHeadStart, (kHeadLength / 512 + 2) * 512));
    // s is the position in the sorted list.
    EXPECT_TRUE(rep_.logged("编号0写入成功"));
    EXPECT_TRUE(rep_.logged("编号2写入成功"));
    const auto m = rep_.messages();
    EXPECT_LT(std::find(m.begin(), m.end(), "准备写入编号0文件......"),
              std::find(m.begin(), m.end(), "准备写入编号2文件......"));
}

TEST_F(RebuildTest, OneFragmentRowsUseFirstEntryOnly) {
    Edit([](TableSet& t) { t.results.set_checked(0, false); });
    AddFile("1", "1", "1,0,", "", "a", "4096");
    AddFile("2", "2", "1,0", "", "b", "4096");  // text after the last comma is ignored
    Run(Plenty());
    const auto one = PatternBytes(kMoovStart, (kMoovLength - 1) / 512 * 512 + 1024);
    EXPECT_EQ(ReadAll(Out("VYR-1--a.mov")), one);
    EXPECT_EQ(ReadAll(Out("VYR-2--b.mov")), one);
}

TEST_F(RebuildTest, BadListFailsThatRowAndGoesOn) {
    Edit([](TableSet& t) { t.results.set_checked(0, false); });
    AddFile("1", "2", "0,x,", "", "bad", "4096");
    AddFile("2", "2", "0,99,", "", "missing", "4096");
    AddFile("3", "2", "", "", "empty", "4096");
    AddFile("4", "1", "0,", "", "good", "4096");
    Edit([](TableSet& t) {
        t.results.add_row({"5", "4096", "1", "手动", "", "orphan"}, true);
    });  // no OutputTable row
    const auto summary = Run(Plenty());
    for (const char* failed : {"编号1写入失败", "编号2写入失败", "编号3写入失败", "编号5写入失败"})
        EXPECT_TRUE(rep_.logged(failed)) << failed;
    EXPECT_TRUE(rep_.logged("编号4写入成功"));
    EXPECT_TRUE(rep_.logged("编号1: 碎片列表中的\"x\"不是有效的碎片编号"));
    EXPECT_TRUE(rep_.logged("编号2: 碎片列表中的碎片99不存在"));
    for (const char* name : {"VYR-1--bad.mov", "VYR-2--missing.mov", "VYR-3--empty.mov"})
        EXPECT_FALSE(std::filesystem::exists(Out(name))) << name;
    EXPECT_TRUE(std::filesystem::exists(Out("VYR-4--good.mov")));
    EXPECT_EQ(summary.files.size(), 5u);
    EXPECT_EQ(Ticked(), 0u);
}

TEST_F(RebuildTest, FailedWriteIsLoggedAndNextRowsRun) {
    AddFile("1", "1", "0,", "", "next", "4096");
    RebuildHooks hooks = Plenty();
    int created = 0;
    hooks.create_output =
        [&](const std::string&) -> std::expected<std::unique_ptr<OutputSink>, std::string> {
        if (created++ == 0) return std::make_unique<test::FullDiskSink>(100000);
        return std::make_unique<test::MemorySink>();
    };
    const auto summary = Run(hooks);
    EXPECT_TRUE(rep_.logged("编号0写入失败"));
    EXPECT_FALSE(rep_.logged("编号0写入成功"));
    EXPECT_TRUE(rep_.logged("编号1写入成功"));
    ASSERT_EQ(summary.files.size(), 2u);
    EXPECT_FALSE(summary.files[0].written);
    EXPECT_NE(summary.files[0].error.find("No space left"), std::string::npos);
}

TEST_F(RebuildTest, FullFileSystemFailsTheRow) {
    const auto mnt = dir_ / "small";
    std::filesystem::create_directory(mnt);
    const std::string cmd = "mount -t tmpfs -o size=64k tmpfs '" + mnt.string() + "' 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "cannot mount a tmpfs here";
    Edit([](TableSet& t) {
        t.results.set_cell(0, resc::FileLength, "1KB");
    });  // let the estimate pass
    AddFile("1", "1", "1,", "", "after", "1KB");
    Run(Plenty(), mnt.string());
    const bool full_failed = rep_.logged("编号0写入失败");
    const bool next_tried = rep_.logged("准备写入编号1文件......");
    const bool partial_left = std::filesystem::exists(mnt / "VYR-0-250-2012-05-03 14-22-10.mov");
    std::system(("umount '" + mnt.string() + "'").c_str());
    EXPECT_TRUE(full_failed);
    EXPECT_TRUE(next_tried);
    EXPECT_FALSE(partial_left);
}

// An unreadable sector of the source costs the file only that sector, and
// the log does not call the file a success; a range past the end of the
// source fails its row instead of padding it with zeros.
TEST_F(RebuildTest, UnreadableSectorsAndRangesPastTheSource) {
    AddFile("1", "1", "2,", "", "past", "1KB");
    Edit([](TableSet& t) {
        t.fragments.add_row({"2", "moov", std::to_string(kImageSize - 1024), "moov",
                             std::to_string(kImageSize + 100000), "6", "", "", "", "", "", "0", "0",
                             "0", ""});
    });
    test::FaultyOpener faulty;
    faulty.faults.failing = test::Sectors({kHeadStart + 70000});
    RebuildHooks hooks = Plenty();
    hooks.open_source = faulty.opener();
    const auto summary = Run(hooks);
    ASSERT_EQ(summary.files.size(), 2u);
    EXPECT_TRUE(summary.files[0].written);
    EXPECT_EQ(summary.files[0].unreadable_bytes, 512);
    EXPECT_FALSE(summary.files[0].whole());
    EXPECT_TRUE(rep_.logged("编号0写入完成，但有512Byte无法从源盘读取，已用零填充"));
    EXPECT_FALSE(rep_.logged("编号0写入成功"));
    auto expected = ExpectedPairedFile();
    const std::size_t bad = (kHeadStart + 70000) / 512 * 512 - kHeadStart;
    std::fill_n(expected.begin() + static_cast<std::ptrdiff_t>(bad), 512, 0);
    EXPECT_EQ(ReadAll(Out("VYR-0-250-2012-05-03 14-22-10.mov")), expected);

    EXPECT_FALSE(summary.files[1].written);
    EXPECT_TRUE(rep_.logged("编号1写入失败"));
    EXPECT_FALSE(std::filesystem::exists(Out("VYR-1--past.mov")));
}

TEST_F(RebuildTest, SourceThatCannotBeOpenedIsReported) {
    image_ = dir_ / "gone.img";
    const auto summary = Run(Plenty());
    EXPECT_EQ(summary.end, RebuildEnd::SourceFailed);
    ASSERT_EQ(rep_.boxes.size(), 1u);
    EXPECT_NE(rep_.boxes[0].text.find(image_.string()), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(dir_ / "out"));
}

TEST_F(RebuildTest, SourceStaysByteIdentical) {
    ::chmod(image_.c_str(), 0444);
    struct stat before {};
    ::stat(image_.c_str(), &before);
    const auto bytes = ReadAll(image_);
    AddFile("1", "1", "0,", "", "", "4096");
    Run(Plenty());
    struct stat after {};
    ::stat(image_.c_str(), &after);
    EXPECT_EQ(ReadAll(image_), bytes);
    EXPECT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
    EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
}

// An image kept in the output folder under a name the save would use: the
// new file takes the next free name.
TEST_F(RebuildTest, NeverOverwritesTheSource) {
    const auto inside = Out("VYR-7--.mov");
    std::filesystem::copy_file(image_, inside);
    image_ = inside;
    std::ofstream(Out("VYR-7-- (2).mov")) << "saved earlier";
    Edit([](TableSet& t) { t.results.set_checked(0, false); });
    AddFile("7", "1", "0,", "", "", "4096");
    Run(Plenty());
    EXPECT_TRUE(rep_.logged("编号1写入成功"));
    EXPECT_EQ(std::filesystem::file_size(inside), static_cast<std::uintmax_t>(kImageSize));
    EXPECT_EQ(ReadAll(Out("VYR-7-- (2).mov")).size(), 13u);
    EXPECT_EQ(std::filesystem::file_size(Out("VYR-7-- (3).mov")),
              static_cast<std::uintmax_t>((kHeadLength / 512 + 2) * 512));
}

TEST_F(RebuildTest, HostileNamesStayInFolderAndNothingThereIsReplaced) {
    Edit([](TableSet& t) { t.results.set_checked(0, false); });
    AddFile("1", "1", "0,", "", "../../escaped", "4096");
    const auto victim = dir_ / "victim";
    std::ofstream(victim) << "keep";
    std::filesystem::create_symlink(victim, Out("VYR-2--x.mov"));
    AddFile("2", "1", "0,", "", "x", "4096");
    std::ofstream(Out("VYR-3--y.mov")) << std::string(500000, 'z');  // kept
    AddFile("3", "1", "0,", "", "y", "4096");
    Run(Plenty());
    EXPECT_TRUE(std::filesystem::exists(Out(MakeOutputName("1", "", "../../escaped"))));
    EXPECT_FALSE(std::filesystem::exists(dir_.path().parent_path() / "escaped.mov"));
    EXPECT_EQ(ReadAll(victim).size(), 4u);
    EXPECT_TRUE(std::filesystem::is_symlink(Out("VYR-2--x.mov")));
    EXPECT_TRUE(std::filesystem::exists(Out("VYR-2--x (2).mov")));
    EXPECT_EQ(std::filesystem::file_size(Out("VYR-3--y.mov")), 500000u);
    EXPECT_EQ(std::filesystem::file_size(Out("VYR-3--y (2).mov")),
              static_cast<std::uintmax_t>((kHeadLength / 512 + 2) * 512));
}

}  // namespace
}  // namespace tav

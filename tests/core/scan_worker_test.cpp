// The scan as a whole: start-up messages, stopping, the worker thread, and
// end-to-end scans of generated cards in every mode.

#include <gtest/gtest.h>

#include <map>

#include "cardgen/mov_builder.hpp"
#include "common/decimal.hpp"
#include "disk/measure.hpp"
#include "platform/source_reader.hpp"
#include "scan/scan_geometry.hpp"
#include "scan/scan_start.hpp"
#include "scan/use_window_tracker.hpp"
#include "scan_test_support.hpp"
#include "support/cards.hpp"
#include "support/fs_image.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

using scantest::ScanRun;

TEST(ScanStartUp, UnopenableSourceSaysWhyAndEnds) {
    ScanRun run;
    scantest::RunScanOn(run, "/nonexistent/card.img", scantest::RawInfo(1 << 20), 3, 1);
    ASSERT_EQ(run.reporter.boxes.size(), 1u);
    EXPECT_EQ(run.reporter.boxes[0].caption, "无法打开源盘");
    EXPECT_NE(run.reporter.boxes[0].text.find("/nonexistent/card.img"), std::string::npos);
    EXPECT_EQ(run.reporter.results_shown, 0);
    EXPECT_TRUE(run.reporter.lines.empty());
}

class StartUpTest : public ::testing::Test {
  protected:
    void SetUp() override { scantest::Image(1 << 20).save(path_); }
    test::TempDir dir_;
    std::filesystem::path path_ = dir_ / "img.bin";
};

TEST_F(StartUpTest, FileSystemSourceWithOtherSectorSizeIsRefused) {
    TDiskInfo info = scantest::RawInfo(1 << 20);
    info.FileSystem = "NTFS";
    info.BytesPerSector = 1000;  // not a whole number of 512-byte units
    ScanRun run;
    scantest::RunScanOn(run, path_.string(), info, 2, 1);
    ASSERT_EQ(run.reporter.boxes.size(), 1u);
    EXPECT_EQ(run.reporter.boxes[0],
              (UserMessage{"扇区字节数不正常", "发现每扇区字节数非512字节，请反馈错误信息给开发者!",
                           MsgIcon::Warning, MsgButtons::Ok}));
    EXPECT_EQ(run.reporter.results_shown, 0);
}

TEST_F(StartUpTest, FreeSpaceScanOfAnUnknownFileSystemIsRefused) {
    TDiskInfo info = scantest::RawInfo(1 << 20);
    info.FileSystem = "HFS+";
    ScanRun run;
    scantest::RunScanOn(run, path_.string(), info, 0, 0);
    ASSERT_EQ(run.reporter.boxes.size(), 1u);
    EXPECT_EQ(run.reporter.boxes[0],
              (UserMessage{"文件系统错误",
                           "非NTFS或者FAT文件系统，无法开启扫描空闲空间功能，请重新选择！"}));
    EXPECT_TRUE(run.done().fragments.empty());
    EXPECT_EQ(run.reporter.results_shown, 0);
}

TEST_F(StartUpTest, GaugeRangeAndStatusBeforeTheFirstRead) {
    ScanRun run;
    TDiskInfo info = scantest::RawInfo(1 << 20);
    info.StartSector = 300;
    scantest::RunScanOn(run, path_.string(), info, 3, 1);
    EXPECT_EQ(run.reporter.gauge_min, 0);
    EXPECT_EQ(run.reporter.gauge_max, 2048 - 128);
    ASSERT_GE(run.reporter.gauge_positions.size(), 2u);
    EXPECT_EQ(run.reporter.gauge_positions[0], 300);
    EXPECT_EQ(run.reporter.gauge_positions[1], 300);
    EXPECT_EQ(run.reporter.status_of(0).front(), "扫描中......");
}

TEST_F(StartUpTest, StoppedScanStillAnalysesAndShowsResults) {
    ScanRun run;
    scantest::RunScanOn(run, path_.string(), scantest::RawInfo(1 << 20), 3, 1, {}, 1);
    EXPECT_EQ(run.reporter.status_of(0),
              (std::vector<std::string>{"扫描中......", "停止扫描", "就绪"}));
    const auto m = run.reporter.messages();
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(m.front(), "扫描已停止");
    EXPECT_EQ(m.back(), "分析完毕");
    EXPECT_EQ(run.reporter.results_shown, 1);
}

// --- generated cards ---

const test::Card& CardOrSkip(const std::string& kind) {
    const test::Card& card = test::GetCard(kind);
    if (!card.ok()) ADD_FAILURE() << kind << ": " << card.error;
    return card;
}

// Start offset of each listed file's HEAD -> its quality, from the tables.
std::map<std::int64_t, std::string> ListedHeads(const TableSet& t) {
    std::map<std::int64_t, std::string> out;
    for (const auto& row : t.outputs.rows()) {
        const auto list = SplitFragmentList(row.cells[outc::FragmentList]);
        const auto head = parse_int64(list.at(0));
        out[*parse_int64(t.fragments.cell(static_cast<std::size_t>(*head), frag::StartOffset))] =
            row.cells[outc::Quality];
    }
    return out;
}

// What the source step and the Next button would start for this image.
void ScanCard(ScanRun& run, const test::Card& card, int mode, std::uint8_t scheme = 0,
              bool large_only = false, bool as_drive = false) {
    auto info = MeasureVolume(card.image.string());
    if (!info) info = MeasureRawImage(card.image.string());
    ASSERT_TRUE(info);
    SourceSelection selection{card.image.string(), card.image.string(), !as_drive, *info};
    ScanSettings settings;
    settings.ScanMode = mode;
    settings.FormatScheme = scheme;
    settings.LargeFileOnly = large_only;
    const ScanStartPlan plan = PlanScanStart(selection, settings);
    StopFlag stop{0};
    TscanPst scan(ScanParams{card.image.string(), *info, plan.ScanKind, plan.ScanAllSpace, {}},
                  settings, run.tables, run.reporter, stop);
    scan.Start();
    scan.Join();
    EXPECT_TRUE(run.reporter.boxes.empty())
        << run.reporter.boxes.front().caption << run.reporter.boxes.front().text;
    EXPECT_EQ(run.reporter.results_shown, 1);
}

std::string Grade(const cardgen::ManifestFile& f) {
    return f.last_frame_verifies ? "非常好" : "好";
}

TEST(CardScan, DeepScanOfARawCardListsEveryWholeFile) {
    const auto& card = CardOrSkip("raw");
    if (!card.ok()) return;
    ScanRun run;
    ScanCard(run, card, kModeDeep);
    const auto listed = ListedHeads(run.done());
    std::map<std::int64_t, std::string> expected;
    for (const auto& f : card.with_state("placed")) expected[f.head_offset] = Grade(f);
    EXPECT_EQ(listed, expected);
    // The orphaned header is graded poor; the orphaned start region stays unpaired.
    for (const auto& f : card.with_state("orphan-moov")) {
        bool found = false;
        for (const auto& row : run.done().fragments.rows())
            if (row.cells[frag::StartOffset] == dec(f.moov_offset)) {
                found = true;
                EXPECT_EQ(row.cells[frag::Quality], "差");
            }
        EXPECT_TRUE(found) << f.name;
    }
    for (const auto& f : card.with_state("orphan-head")) EXPECT_FALSE(listed.count(f.head_offset));
    // Files and lengths agree with the manifest.
    for (const auto& f : card.with_state("placed"))
        for (const auto& row : run.done().outputs.rows()) {
            const auto head = *parse_int64(SplitFragmentList(row.cells[outc::FragmentList])[0]);
            if (run.done().fragments.cell(static_cast<std::size_t>(head), frag::StartOffset) ==
                dec(f.head_offset)) {
                // The header is counted in 512-byte units from the sector of its start.
                const std::int64_t length = *parse_int64(row.cells[outc::FileLength]);
                EXPECT_GT(length, f.length - 512) << f.name;
                EXPECT_LT(length, f.length + 1024) << f.name;
                EXPECT_EQ(row.cells[outc::Frames], dec(f.frames)) << f.name;
                EXPECT_EQ(row.cells[outc::ShootDate], f.date + " " + f.time) << f.name;
            }
        }
}

TEST(CardScan, LargeOnlyKeepsSixtyFourBitFiles) {
    const auto& card = CardOrSkip("raw");
    if (!card.ok()) return;
    ScanRun run;
    ScanCard(run, card, kModeDeep, 0, true);
    std::map<std::int64_t, std::string> expected;
    for (const auto& f : card.with_state("placed"))
        if (f.mdat64 && f.co64) expected[f.head_offset] = Grade(f);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(ListedHeads(run.done()), expected);
}

void ExpectDeletedListed(const test::Card& card, const ScanRun& run) {
    std::map<std::int64_t, std::string> expected;
    for (const auto& f : card.with_state("deleted"))
        if (f.head_offset >= 0 && f.moov_offset >= 0) expected[f.head_offset] = Grade(f);
    ASSERT_FALSE(expected.empty());
    const auto listed = ListedHeads(run.done());
    EXPECT_EQ(listed, expected);
    for (const auto& f : card.with_state("in-use")) EXPECT_FALSE(listed.count(f.head_offset));
}

TEST(CardScan, DeletionScanOfFat32ListsTheDeletedFilesOnly) {
    const auto& card = CardOrSkip("fat32-deleted");
    if (!card.ok()) return;
    ScanRun run;
    ScanCard(run, card, kModeDeletion, 0, false, true);
    ExpectDeletedListed(card, run);
    const auto m = run.reporter.messages();
    EXPECT_EQ(m[0], "开启了空闲空间扫描功能，开始定位并检测元文件......");
    EXPECT_EQ(m[1].rfind("Fat表所在偏移:  ", 0), 0u) << m[1];
}

TEST(CardScan, DeletionScanOfNtfsListsTheDeletedFilesOnly) {
    const auto& card = CardOrSkip("ntfs-deleted");
    if (!card.ok()) return;
    ScanRun run;
    ScanCard(run, card, kModeDeletion, 0, false, true);
    ExpectDeletedListed(card, run);
    EXPECT_EQ(run.reporter.messages()[1].rfind("$BitMap所在偏移:  ", 0), 0u);
}

TEST(CardScan, FormattedCardWithEitherScheme) {
    const auto& card = CardOrSkip("fat32-formatted");
    if (!card.ok()) return;
    for (std::uint8_t scheme : {0, 1}) {
        ScanRun run;
        ScanCard(run, card, kModeFormat, scheme, false, true);
        std::map<std::int64_t, std::string> expected;
        for (const auto& f : card.files())
            if (f.head_offset >= 0 && f.moov_offset >= 0) expected[f.head_offset] = Grade(f);
        EXPECT_EQ(ListedHeads(run.done()), expected) << int(scheme);
    }
}

TEST(CardScan, FileSystemImageDeepScanFindsInUseFilesToo) {
    const auto& card = CardOrSkip("fat32-deleted");
    if (!card.ok()) return;
    ScanRun run;
    ScanCard(run, card, kModeDeep, 0, false, true);
    const auto listed = ListedHeads(run.done());
    for (const auto& f : card.files())
        if (f.head_offset >= 0 && f.moov_offset >= 0) {
            EXPECT_TRUE(listed.count(f.head_offset)) << f.name;
        }
}

TEST(UseWindows, TrackerFollowsTheFatAcrossWindows) {
    test::TempDir dir;
    const auto image = test::MakeFatImage(dir / "fat.img", 272, 32, 1);
    if (!image) GTEST_SKIP() << "mkfs.fat not available";
    auto info = MeasureVolume(image->string());
    ASSERT_TRUE(info);
    // Mark clusters on both sides of the first window boundary as in use.
    const std::int64_t fat = std::int64_t{info->FatStartSector} * 512;
    for (std::int64_t c : {16383, 16384, 40000})
        test::WriteBytes(*image, fat + c * 4, {0xFF, 0xFF, 0xFF, 0x0F});
    auto source = SourceReader::open(image->string());
    ASSERT_TRUE(source);
    ASSERT_TRUE(LocateFat(*source, *info));
    const FreeSpaceRegion region = FatRegion(*info);
    ScanGeometry g;
    g.base = info->StartSector - 2 * info->SectorsPerCluster;
    g.cluster_sectors = info->SectorsPerCluster;
    UseWindowTracker tracker(*source, region, *info, g);
    for (std::int64_t c : {1000, 16382, 16383, 16384, 16385, 39999, 40000, 1001}) {
        ASSERT_TRUE(tracker.ensure(c)) << c;
        EXPECT_EQ(tracker.loaded_window(), c / kFat32WindowClusters);
        const bool expect = c == 16383 || c == 16384 || c == 40000;
        EXPECT_EQ(tracker.in_use(c), expect) << c;
    }
    // A window wholly past the volume holds no free cluster, and is no error.
    const std::int64_t past = info->TotalSectors / info->SectorsPerCluster + kFat32WindowClusters;
    ASSERT_TRUE(tracker.ensure(past));
    EXPECT_TRUE(tracker.in_use(past));
}

}  // namespace
}  // namespace tav

namespace tav {
namespace {

// Camera files written straight into the free clusters of a fresh FAT32
// volume, a header straddling a use-window boundary (cluster 65536).
TEST(UseWindows, DeletionScanFollowsFragmentsAcrossAWindowBoundary) {
    test::TempDir dir;
    const auto image = test::MakeFatImage(dir / "fat.img", 272, 32, 1);
    if (!image) GTEST_SKIP() << "mkfs.fat not available";
    auto info = MeasureVolume(image->string());
    ASSERT_TRUE(info);
    const std::int64_t base = info->StartSector - 2;  // one sector per cluster
    auto cluster_byte = [&](std::int64_t c) { return (base + c) * 512; };

    const auto a = cardgen::BuildCameraMov({}, cardgen::SyntheticClip(10000, 21, true));
    const auto b = cardgen::BuildCameraMov({}, cardgen::SyntheticClip(5, 22, true));
    const auto c = cardgen::BuildCameraMov({}, cardgen::SyntheticClip(5, 23, true));
    ASSERT_GT(a.moov.size(), 65536u);  // the header spans more than one read
    const std::int64_t a_head = cluster_byte(2000);
    const std::int64_t a_moov = cluster_byte(4 * 16384 - 100) + 37;  // straddles a boundary
    ASSERT_LT(a_head + static_cast<std::int64_t>(a.head.size()), a_moov);
    const std::int64_t a_end = a_moov + static_cast<std::int64_t>(a.moov.size());
    const std::int64_t b_head = (a_end + 511) / 512 * 512;  // the next cluster start
    const std::int64_t c_head = cluster_byte(200000);
    test::WriteBytes(*image, a_head, a.head);
    test::WriteBytes(*image, a_moov, a.moov);
    test::WriteBytes(*image, b_head, b.bytes());
    test::WriteBytes(*image, c_head, c.bytes());
    // C's first cluster is in use: its start region must never be tested.
    const std::int64_t fat = std::int64_t{info->FatStartSector} * 512;
    test::WriteBytes(*image, fat + 200000 * 4, {0xFF, 0xFF, 0xFF, 0x0F});

    ScanRun run;
    StopFlag stop{0};
    const ScanSettings settings;  // held by reference for the whole scan
    TscanPst scan(ScanParams{image->string(), *info, kKindDeleted, 0, {}}, settings, run.tables,
                  run.reporter, stop);
    scan.Execute();
    EXPECT_TRUE(run.reporter.boxes.empty());
    const auto listed = ListedHeads(run.done());
    EXPECT_EQ(listed,
              (std::map<std::int64_t, std::string>{{a_head, "非常好"}, {b_head, "非常好"}}));
    EXPECT_EQ(
        scantest::Column(run.done().fragments, frag::StartOffset),
        (std::vector<std::string>{
            dec(a_moov), dec(b_head + static_cast<std::int64_t>(b.head.size())),
            dec(c_head + static_cast<std::int64_t>(c.head.size())), dec(a_head), dec(b_head)}));
}

}  // namespace
}  // namespace tav

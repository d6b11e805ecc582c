// Scanning and saving generated cards whose sectors fail: one unreadable
// sector costs at most its own bytes of any video, in every scan mode and in
// saving, and nothing is reported as whole that is not.

#include <gtest/gtest.h>

#include <map>

#include "core/recovery_test_support.hpp"
#include "disk/measure.hpp"
#include "recovery/rebuild_worker.hpp"
#include "scan/scan_start.hpp"
#include "scan/scan_worker.hpp"
#include "scan_test_support.hpp"
#include "support/cards.hpp"
#include "support/faulty_device.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    ScanOutcome scan;
    std::vector<std::string> log;
    std::map<std::string, std::vector<std::uint8_t>> files;  // by name without its number
    std::map<std::string, std::int64_t> unreadable;          // per file, as the save reported
};

// Scans the card in the mode through the opener, then saves every listed
// video; a video's name without its number identifies it across runs.
Outcome ScanAndSave(const test::Card& card, int mode, const SourceOpener& opener,
                    const test::TempDir& dir, const std::string& folder) {
    Outcome out;
    auto info = MeasureVolume(card.image.string());
    if (!info) info = MeasureRawImage(card.image.string());
    EXPECT_TRUE(info.has_value());
    ScanSettings settings;
    settings.ScanMode = mode;
    const SourceSelection selection{card.image.string(), card.image.string(), true, *info};
    const ScanStartPlan plan = PlanScanStart(selection, settings);
    scantest::ScanRun run;
    StopFlag stop{0};
    TscanPst scan(ScanParams{card.image.string(), *info, plan.ScanKind, plan.ScanAllSpace, opener},
                  settings, run.tables, run.reporter, stop);
    scan.Execute();
    EXPECT_TRUE(run.reporter.boxes.empty());
    out.scan = scan.outcome();
    out.log = run.reporter.messages();

    run.tables.with([](TableSet& t) {
        for (std::size_t r = 0; r < t.results.row_count(); ++r) t.results.set_checked(r, true);
    });
    std::atomic<bool> saving{false};
    RebuildHooks hooks;
    hooks.open_source = opener;
    fs::create_directories(dir / folder);
    TPstRebuild save({card.image.string(), (dir / folder).string(), nullptr}, run.tables,
                     run.reporter, saving, hooks);
    save.Execute();
    for (const SavedFile& f : save.summary().files) {
        EXPECT_TRUE(f.written) << f.error;
        const std::string name = fs::path(f.path).filename().string();
        const std::string key = name.substr(name.find('-', 4));
        out.files[key] = test::ReadAll(f.path);
        out.unreadable[key] = f.unreadable_bytes;
    }
    return out;
}

std::int64_t SectorInside(std::int64_t offset, std::int64_t length, int eighths) {
    return (offset + length * eighths / 8) / 512 * 512;
}

TEST(FailingCard, EveryVideoComesBackWithOnlyTheFailedSectorsMissing) {
    const struct {
        const char* kind;
        int mode;
        const char* state;
    } cards[] = {
        {"raw", kModeDeep, "placed"},
        {"fat32-deleted", kModeDeletion, "deleted"},
        {"ntfs-deleted", kModeDeletion, "deleted"},
        {"fat32-formatted", kModeFormat, "deleted"},
    };
    for (const auto& c : cards) {
        SCOPED_TRACE(c.kind);
        const test::Card& card = test::GetCard(c.kind);
        ASSERT_TRUE(card.ok()) << card.error;
        std::vector<cardgen::ManifestFile> videos;
        for (const auto& f : card.with_state(c.state))
            if (f.head_offset >= 0 && f.moov_offset >= 0 && f.head_length > 16 * 512)
                videos.push_back(f);
        ASSERT_GE(videos.size(), 2u);
        // One sector in a video's media data; a run that makes the scan jump
        // ahead, just behind another video's start region (same MiB); a run
        // right before a third start region, so that the jump passes over it.
        test::FaultyOpener faulty;
        faulty.faults.failing = {
            {SectorInside(videos[0].head_offset, videos[0].head_length, 4), 512},
            {SectorInside(videos[1].head_offset, videos[1].head_length, 1), 16 * 512}};
        if (videos.size() > 2) {
            // Only free bytes: the video before may end with its header there.
            const std::int64_t head = videos[2].head_offset;
            std::int64_t from = head - 8192;
            for (const auto& f : card.files())
                if (f.moov_offset >= 0 && f.moov_offset < head)
                    from = std::max(from, (f.moov_offset + f.moov_length + 511) / 512 * 512);
            if (head - from >= 8 * 512) faulty.faults.failing.push_back({from, head - from});
        }
        test::TempDir dir;
        const Outcome clean = ScanAndSave(card, c.mode, {}, dir, "clean");
        const Outcome bad = ScanAndSave(card, c.mode, faulty.opener(), dir, "bad");

        EXPECT_TRUE(clean.scan.unreadable.empty());
        std::vector<ByteRange> in_order;
        for (const ByteRange& r : faulty.faults.failing) AddRange(in_order, r);
        EXPECT_EQ(bad.scan.unreadable, in_order);
        const std::string total = "共" + std::to_string(in_order.size()) + "处无法读取，合计" +
                                  std::to_string(TotalLength(in_order)) + "Byte，已按零字节扫描";
        EXPECT_NE(std::find(bad.log.begin(), bad.log.end(), total), bad.log.end());
        ASSERT_EQ(bad.files.size(), clean.files.size());
        std::int64_t lost = 0;
        for (const auto& [name, bytes] : clean.files) {
            SCOPED_TRACE(name);
            ASSERT_TRUE(bad.files.contains(name));
            const auto& other = bad.files.at(name);
            ASSERT_EQ(other.size(), bytes.size());
            std::int64_t differing = 0;
            for (std::size_t k = 0; k < bytes.size(); ++k) differing += bytes[k] != other[k];
            EXPECT_LE(differing, bad.unreadable.at(name));
            EXPECT_EQ(clean.unreadable.at(name), 0);
            lost += bad.unreadable.at(name);
        }
        EXPECT_GE(lost, 512 + 16 * 512);  // the first two lie inside videos
        EXPECT_LE(lost, TotalLength(in_order));
    }
}

// A window of the FAT that cannot be read is scanned as free, and said so.
TEST(FailingCard, UnreadableAllocationMapIsScannedAsFree) {
    const test::Card& card = test::GetCard("fat32-deleted");
    ASSERT_TRUE(card.ok()) << card.error;
    const auto info = MeasureVolume(card.image.string());
    ASSERT_TRUE(info.has_value());
    test::FaultyOpener faulty;
    const std::int64_t fat = std::int64_t{info->FatStartSector} * 512;
    faulty.faults.failing = {{fat + 4096, 4096}};  // not the first sector: the FAT is still found
    test::TempDir dir;
    const Outcome clean = ScanAndSave(card, kModeDeletion, {}, dir, "clean");
    const Outcome bad = ScanAndSave(card, kModeDeletion, faulty.opener(), dir, "bad");
    EXPECT_EQ(bad.files, clean.files);
    const std::string said = "分配表无法读取  偏移:" + std::to_string(fat + 4096) +
                             "Byte  长度:4096Byte，其中的簇按空闲空间扫描";
    EXPECT_NE(std::find(bad.log.begin(), bad.log.end(), said), bad.log.end());
}

}  // namespace
}  // namespace tav

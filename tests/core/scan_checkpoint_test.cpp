// Checkpoints of a running scan: the file survives being cut short at any
// write step, and a scan taken up again from any place it recorded (a crash
// there, a stop, a reader pulled out) ends with exactly the tables of a scan
// that was never interrupted, without reading the card twice.

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "disk/measure.hpp"
#include "platform/atomic_file.hpp"
#include "recovery/checkpoint_resume.hpp"
#include "scan/checkpoint_keeper.hpp"
#include "scan/scan_start.hpp"
#include "scan/scan_worker.hpp"
#include "scan_test_support.hpp"
#include "support/cards.hpp"
#include "support/faulty_device.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

namespace fs = std::filesystem;

ScanCheckpoint SampleCheckpoint() {
    ScanCheckpoint c;
    c.source = {"/dev/sdb", 1, 31914983424, "0123456789abcdef"};
    c.settings = {kModeFormat, 1, true, false, 1, 1};
    c.source_field = "/dev/sdb\t分区1";
    c.file_type = kFileTypeAnyText;
    c.sweep.phase = SweepState::Phase::Again;
    c.sweep.w = 123456;
    c.sweep.resume_index = 17;
    c.sweep.starts_from = 123500;
    c.sweep.fragment_count = 2;
    c.sweep.video_count = 1;
    c.sweep.gauge = 1234.5678901234567;
    c.sweep.again = {{1048576, 4096}, {2097152, 512}};
    c.sweep.reader = {
        {{512, 512}, {8192, 1024}}, {{65536, 131072}}, {65536, 131072}, 262144, true, 987654321};
    for (int n = 1; n <= 2; ++n) {
        TableRow row;
        row.cells.assign(frag::Count, "");
        row.cells[frag::SN] = std::to_string(n);
        row.cells[frag::StartType] = n == 1 ? "HEAD" : "moov";
        row.cells[frag::ShootDate] = "2012/05/03 14:22:10\\n\r";
        row.checked = n == 2;
        c.fragments.push_back(row);
    }
    return c;
}

TEST(CheckpointFile, RoundTripsAndRefusesEveryCutOrChangedFile) {
    const ScanCheckpoint c = SampleCheckpoint();
    const std::string text = EncodeCheckpoint(c);
    const auto back = DecodeCheckpoint(text);
    ASSERT_TRUE(back.has_value()) << back.error();
    EXPECT_EQ(*back, c);
    // A power cut may leave any prefix of the file.
    for (std::size_t n = 0; n < text.size(); ++n)
        ASSERT_FALSE(DecodeCheckpoint(text.substr(0, n)).has_value()) << n;
    for (std::size_t at : {std::size_t{40}, text.size() / 2, text.size() - 3}) {
        std::string changed = text;
        changed[at] ^= 0x01;
        EXPECT_FALSE(DecodeCheckpoint(changed).has_value()) << at;
    }
}

TEST(CheckpointFile, AnInterruptedReplacementLeavesTheLastGoodOne) {
    test::TempDir dir;
    const std::string path = (dir.path() / "scan.checkpoint").string();
    ScanCheckpoint first = SampleCheckpoint();
    ASSERT_TRUE(ReplaceFileAtomically(path, EncodeCheckpoint(first)).has_value());
    ScanCheckpoint second = first;
    second.sweep.w += 128;
    const std::string next = EncodeCheckpoint(second);
    // Cut while the temporary file was written, or before its rename: the
    // file in place is still the first checkpoint.
    for (const std::size_t written : {std::size_t{0}, next.size() / 2, next.size()}) {
        std::ofstream(TemporaryFileFor(path), std::ios::binary | std::ios::trunc)
            << next.substr(0, written);
        const auto loaded = LoadCheckpoint(path);
        ASSERT_TRUE(loaded.has_value()) << loaded.error();
        EXPECT_EQ(*loaded, first);
    }
    ASSERT_TRUE(ReplaceFileAtomically(path, next).has_value());
    EXPECT_EQ(*LoadCheckpoint(path), second);
    EXPECT_FALSE(fs::exists(TemporaryFileFor(path)));
    // A file torn some other way is refused, not half used.
    std::ofstream(path, std::ios::binary | std::ios::trunc) << next.substr(0, next.size() - 5);
    EXPECT_FALSE(LoadCheckpoint(path).has_value());
}

// Written when the scan starts, soon after a video is found, when the scan
// stops early; left alone otherwise; gone once the scan is complete.
TEST(CheckpointFile, KeptWhenAScanStartsFindsOrStopsAndRemovedWhenItIsComplete) {
    test::TempDir dir;
    const std::string path = (dir.path() / "scan.checkpoint").string();
    ScanTables tables;
    scantest::ScanRecorder reporter;
    CheckpointKeeper keeper(path, SampleCheckpoint(), tables, reporter,
                            {std::chrono::hours(1), std::chrono::milliseconds(0)});
    const auto place = [](std::int64_t w) {
        SweepState s;
        s.w = w;
        return s;
    };
    const auto written_w = [&] { return LoadCheckpoint(path)->sweep.w; };
    keeper.resumable(place(128), false);
    ASSERT_TRUE(fs::exists(path));
    EXPECT_EQ(written_w(), 128);
    keeper.resumable(place(256), false);
    EXPECT_EQ(written_w(), 128);
    keeper.resumable(place(384), true);
    EXPECT_EQ(written_w(), 384);
    keeper.resumable(place(512), false);
    EXPECT_EQ(written_w(), 384);
    keeper.hold(place(640));
    EXPECT_EQ(written_w(), 640);
    EXPECT_TRUE(keeper.kept());
    keeper.finished();
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(keeper.kept());
}

// Every place the sector loop could be taken up again from, as it passed it.
struct Place {
    SweepState state;
    std::vector<TableRow> rows;
};

class RecordedPlaces : public SweepCheckpoints {
  public:
    explicit RecordedPlaces(const ScanTables& tables) : tables_(tables) {}
    void resumable(const SweepState& state, bool) override { record(state); }
    void hold(const SweepState& state) override {
        record(state);
        held = places.back();
    }
    void finished() override { finished_ = true; }

    std::vector<Place> places;
    std::optional<Place> held;
    bool finished_ = false;

  private:
    void record(const SweepState& state) {
        Place p{state, {}};
        tables_.with([&](const TableSet& t) {
            for (std::int64_t r = 0; r < state.fragment_count; ++r)
                p.rows.push_back(t.fragments.row(static_cast<std::size_t>(r)));
        });
        places.push_back(std::move(p));
    }
    const ScanTables& tables_;
};

struct CardScan {
    std::string image;
    TDiskInfo info;
    ScanSettings settings;
    ScanStartPlan plan;
};

CardScan Prepare(const test::Card& card, int mode) {
    CardScan s;
    s.image = card.image.string();
    auto info = MeasureVolume(s.image);
    if (!info) info = MeasureRawImage(s.image);
    EXPECT_TRUE(info.has_value());
    s.info = *info;
    s.settings.ScanMode = mode;
    s.plan = PlanScanStart({s.image, s.image, true, s.info}, s.settings);
    return s;
}

struct Ended {
    TableSet tables;
    ScanOutcome outcome;
    std::vector<UserMessage> boxes;
};

// Scans through the opener, from a place when given one; the sweep's
// places go to `places` when given.
Ended Scan(const CardScan& s, const SourceOpener& opener, const Place* from, RecordedPlaces* places,
           ScanTables& tables) {
    scantest::ScanRecorder reporter;
    if (from) {
        ScanCheckpoint c;
        c.sweep = from->state;
        c.fragments = from->rows;
        // Through the file's text, as a resume after a crash reads it.
        const auto decoded = DecodeCheckpoint(EncodeCheckpoint(c));
        EXPECT_TRUE(decoded.has_value());
        RestoreCheckpointTables(*decoded, s.image, tables);
    }
    StopFlag stop{0};
    ScanParams params{s.image, s.info, s.plan.ScanKind, s.plan.ScanAllSpace, opener};
    if (from) params.resume = from->state;
    params.checkpoints = places;
    TscanPst scan(params, s.settings, tables, reporter, stop);
    scan.Execute();
    return {tables.snapshot(), scan.outcome(), reporter.boxes};
}

Ended Scan(const CardScan& s, const SourceOpener& opener, const Place* from = nullptr) {
    ScanTables tables;
    return Scan(s, opener, from, nullptr, tables);
}

void ExpectSameTables(const TableSet& got, const TableSet& want) {
    EXPECT_EQ(got.fragments, want.fragments);
    EXPECT_EQ(got.outputs, want.outputs);
    EXPECT_EQ(got.results, want.results);
}

// Resume points worth trying: the first in each odd state (passing over a
// bad area, after a jump, scanning the bad area again, after the loop) and
// a spread of the others.
std::vector<std::size_t> Chosen(const std::vector<Place>& places) {
    using Test = bool (*)(const SweepState&);
    const Test odd[] = {
        [](const SweepState& s) { return !s.reader.passed_over.empty(); },
        [](const SweepState& s) { return s.resume_index.has_value(); },
        [](const SweepState& s) { return s.phase == SweepState::Phase::Again; },
        [](const SweepState& s) { return s.phase == SweepState::Phase::Done; },
    };
    std::set<std::size_t> chosen;
    for (const Test t : odd)
        for (std::size_t k = 0; k < places.size(); ++k)
            if (t(places[k].state)) {
                chosen.insert(k);
                break;
            }
    for (std::size_t k = 1; k < 5; ++k) chosen.insert(places.size() * k / 5);
    return {chosen.begin(), chosen.end()};
}

TEST(CheckpointResume, FromAnyRecordedPlaceTheTablesAreThoseOfAnUninterruptedScan) {
    const struct {
        const char* kind;
        int mode;
    } cards[] = {
        {"raw", kModeDeep}, {"fat32-deleted", kModeDeletion}, {"fat32-formatted", kModeFormat}};
    for (const auto& c : cards) {
        SCOPED_TRACE(c.kind);
        const test::Card& card = test::GetCard(c.kind);
        ASSERT_TRUE(card.ok()) << card.error;
        const CardScan s = Prepare(card, c.mode);
        // A failing stretch inside a video's media data makes the loop pass
        // over it and come back to it at the end.
        const auto videos = card.with_state(c.mode == kModeDeep ? "placed" : "deleted");
        ASSERT_FALSE(videos.empty());
        test::FaultyOpener faulty;
        faulty.faults.failing = {
            {(videos[0].head_offset + videos[0].head_length / 2) / 512 * 512, 64 * 512}};

        ScanTables tables;
        RecordedPlaces places(tables);
        const Ended whole = Scan(s, faulty.opener(), nullptr, &places, tables);
        ASSERT_FALSE(whole.tables.results.empty());
        ASSERT_TRUE(places.finished_);
        ASSERT_GE(places.places.size(), 8u);
        EXPECT_EQ(places.places.back().state.phase, SweepState::Phase::Done);

        bool passed_over = false;
        for (const std::size_t k : Chosen(places.places)) {
            const Place& p = places.places[k];
            SCOPED_TRACE("place " + std::to_string(k) + " at sector " + std::to_string(p.state.w));
            passed_over = passed_over || !p.state.reader.passed_over.empty();
            const Ended resumed = Scan(s, faulty.opener(), &p);
            ExpectSameTables(resumed.tables, whole.tables);
            EXPECT_EQ(resumed.outcome.unreadable, whole.outcome.unreadable);
        }
        EXPECT_TRUE(passed_over);
    }
}

TEST(CheckpointResume, StoppedScansGoOnWithoutReadingTheCardTwice) {
    const test::Card& card = test::GetCard("raw");
    ASSERT_TRUE(card.ok()) << card.error;
    const CardScan s = Prepare(card, kModeDeep);
    const auto videos = card.with_state("placed");
    ASSERT_GE(videos.size(), 2u);
    test::FaultyOpener clean;
    const Ended whole = Scan(s, clean.opener());
    const std::int64_t one_pass = clean.medium->bytes_read;
    // Inside a video's media data; between a start region and its header.
    const std::int64_t stops[] = {videos[0].head_offset + videos[0].head_length / 2,
                                  videos[1].head_offset + 4096};
    for (const std::int64_t at : stops) {
        SCOPED_TRACE(at);
        StopFlag stop{0};
        test::FaultyOpener stopping;
        stopping.faults.stop_at = at;
        stopping.faults.stop = &stop;
        ScanTables tables;
        RecordedPlaces places(tables);
        scantest::ScanRecorder reporter;
        ScanParams params{s.image, s.info, s.plan.ScanKind, s.plan.ScanAllSpace, stopping.opener()};
        params.checkpoints = &places;
        TscanPst scan(params, s.settings, tables, reporter, stop);
        scan.Execute();
        ASSERT_TRUE(scan.outcome().stopped);
        ASSERT_TRUE(places.held.has_value());
        EXPECT_FALSE(places.finished_);

        test::FaultyOpener again;
        const Ended resumed = Scan(s, again.opener(), &*places.held);
        ExpectSameTables(resumed.tables, whole.tables);
        // What the stopped scan read after its last resumable place is read
        // again, nothing more: one read block.
        EXPECT_LE(stopping.medium->bytes_read + again.medium->bytes_read,
                  one_pass + (stopping.medium->bytes_read - places.held->state.reader.bytes_read));
    }
}

TEST(CheckpointResume, AReaderThatGoesAwayStopsTheScanAtOnceAndCanBeResumed) {
    const test::Card& card = test::GetCard("fat32-deleted");
    ASSERT_TRUE(card.ok()) << card.error;
    const CardScan s = Prepare(card, kModeDeletion);
    const auto videos = card.with_state("deleted");
    ASSERT_GE(videos.size(), 2u);
    const Ended whole = Scan(s, {});
    // Pulled out inside the second video: reads fail with ENODEV, or with
    // EIO while the device node is gone.
    for (const int error : {ENODEV, EIO}) {
        SCOPED_TRACE(error);
        test::FaultyOpener pulled;
        pulled.faults.vanish_at = videos[1].head_offset + videos[1].head_length / 2;
        pulled.faults.vanish_error = error;
        ScanTables tables;
        RecordedPlaces places(tables);
        const Ended cut = Scan(s, pulled.opener(), nullptr, &places, tables);
        EXPECT_TRUE(cut.outcome.source_gone);
        // Nothing is marked unreadable and nothing is analysed: the rest of
        // the card was never read.
        EXPECT_TRUE(cut.outcome.unreadable.empty());
        EXPECT_TRUE(cut.tables.results.empty());
        ASSERT_EQ(cut.boxes.size(), 1u);
        EXPECT_EQ(cut.boxes[0].caption, "源盘已断开");
        ASSERT_TRUE(places.held.has_value());
        EXPECT_LT(places.held->state.w * 512, pulled.faults.vanish_at);
        EXPECT_FALSE(places.finished_);

        const Ended resumed = Scan(s, {}, &*places.held);
        ExpectSameTables(resumed.tables, whole.tables);
    }
}

TEST(CheckpointResume, AnotherMediumIsRefused) {
    const test::Card& card = test::GetCard("fat32-deleted");
    const test::Card& other = test::GetCard("fat32-formatted");
    ASSERT_TRUE(card.ok() && other.ok());
    const CardScan s = Prepare(card, kModeDeletion);
    SourceSelection selection{s.image, s.image, true, s.info, {}};
    selection.Source.path = s.image;
    ScanTables tables;
    RecordedPlaces places(tables);
    Scan(s, {}, nullptr, &places, tables);
    auto head = StartCheckpoint(selection, s.settings, s.plan, tables.snapshot());
    ASSERT_TRUE(head.has_value()) << head.error();
    ScanCheckpoint checkpoint = *head;
    checkpoint.sweep = places.places.back().state;
    checkpoint.fragments = places.places.back().rows;
    EXPECT_FALSE(ResumeMismatch(checkpoint, selection, s.plan).has_value());

    // The same size and file system, another card.
    const CardScan t = Prepare(other, kModeDeletion);
    SourceSelection another{t.image, t.image, true, t.info, {}};
    another.Source.path = t.image;
    EXPECT_TRUE(ResumeMismatch(checkpoint, another, s.plan).has_value());
    // The same first and last sectors, but the videos are not where they were.
    ScanCheckpoint moved = checkpoint;
    for (TableRow& row : moved.fragments)
        if (row.cells[frag::StartType] == "HEAD") row.cells[frag::StartOffset] = "512";
    EXPECT_TRUE(ResumeMismatch(moved, selection, s.plan).has_value());
}

}  // namespace
}  // namespace tav

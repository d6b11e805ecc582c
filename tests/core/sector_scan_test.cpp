// The pieces of the sector scan: the HEAD sector test, the movie-atom search,
// the resume rules and the gauge; then whole scans of raw images.

#include <gtest/gtest.h>

#include <random>

#include "cardgen/mov_builder.hpp"
#include "common/decimal.hpp"
#include "scan/head_sector.hpp"
#include "scan/movie_atom_search.hpp"
#include "scan/scan_gauge.hpp"
#include "scan/scan_resume.hpp"
#include "scan_test_support.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

using scantest::Bytes;

// A camera file's first sector: ftyp, mdat header, DATE and TIME tags.
Bytes HeadSectorBytes(std::uint32_t mdat_size, const std::string& date = "2012:05:03",
                      const std::string& time = "14:22:10") {
    Bytes s = scantest::Atom("ftyp",
                             Bytes{'q', 't', ' ', ' ', 0x20, 0x05, 0x03, 0x00, 'q', 't', ' ', ' '});
    scantest::Append(s, scantest::Be32(mdat_size));
    s.insert(s.end(), {'m', 'd', 'a', 't'});
    for (auto [tag, text] : {std::pair{"DATE", date}, std::pair{"TIME", time}}) {
        s.insert(s.end(), tag, tag + 4);
        s.push_back(static_cast<std::uint8_t>(text.size()));
        s.push_back(0);
        s.push_back(0);
        s.push_back(0);
        s.insert(s.end(), text.begin(), text.end());
    }
    s.resize(1024, 0);
    return s;
}

TEST(HeadSector, CameraSectorGivesDateTimeAndOwnLength) {
    const Bytes s = HeadSectorBytes(1'000'000);
    ASSERT_TRUE(IsHeadSectorStart(ByteView(s)));
    const auto head = ParseHeadSector(ByteView(s));
    ASSERT_TRUE(head);
    EXPECT_EQ(head->date, "2012:05:03");
    EXPECT_EQ(head->time, "14:22:10");
    EXPECT_EQ(head->own_length, 20 + 1'000'000);
    EXPECT_FALSE(head->mdat_size_64);
}

TEST(HeadSector, SixtyFourBitMdatSizeIsTaken) {
    Bytes s = HeadSectorBytes(1);
    Bytes big(8);
    store_be64(big.data(), 0x1'2345'6789ull);
    // The extended size follows the tag; the tags move 8 bytes on.
    s.insert(s.begin() + 28, big.begin(), big.end());
    const auto head = ParseHeadSector(ByteView(s));
    ASSERT_TRUE(head);
    EXPECT_TRUE(head->mdat_size_64);
    EXPECT_EQ(head->own_length, 20 + 0x1'2345'6789ll);
}

TEST(HeadSector, WithoutShortDateOrTimeTagTheSectorYieldsNothing) {
    Bytes s = HeadSectorBytes(5000);
    s[32] = 20;  // DATE length 20
    s[50] = 25;  // TIME length 25
    EXPECT_FALSE(ParseHeadSector(ByteView(s)));
    Bytes none = HeadSectorBytes(5000);
    std::fill(none.begin() + 28, none.end(), 0);
    EXPECT_FALSE(ParseHeadSector(ByteView(none)));
}

TEST(HeadSector, MissingOrMisplacedMdatGivesAnEmptyOwnLength) {
    Bytes s = HeadSectorBytes(5000);
    std::copy_n("free", 4, s.begin() + 24);
    auto head = ParseHeadSector(ByteView(s));
    ASSERT_TRUE(head);
    EXPECT_FALSE(head->own_length);
    // A tag in the first four bytes would read its size from before the sector.
    std::copy_n("mdat", 4, s.begin() + 2);
    head = ParseHeadSector(ByteView(s));
    ASSERT_TRUE(head);
    EXPECT_FALSE(head->own_length);
}

TEST(HeadSector, OverflowingSizeGivesNoOwnLength) {
    Bytes s = HeadSectorBytes(1);
    Bytes big(8, 0xFF);
    s.insert(s.begin() + 28, big.begin(), big.end());
    const auto head = ParseHeadSector(ByteView(s));
    ASSERT_TRUE(head);
    EXPECT_FALSE(head->own_length);
}

TEST(HeadSector, TagTextIsCleanedForCells) {
    const Bytes raw = {'2', '0', '/', '\\', 0x01, 0xC8, ':', 0, 'x'};
    EXPECT_EQ(TagText(ByteView(raw)), "20____:");
}

// --- the movie-atom search ---

std::vector<std::uint32_t> Reference(const Bytes& b, std::size_t limit) {
    std::vector<std::uint32_t> out;
    for (std::size_t p = 0; p < limit && p + 12 <= b.size(); ++p)
        if (std::equal(b.begin() + p, b.begin() + p + 4, "moov") &&
            std::equal(b.begin() + p + 8, b.begin() + p + 12, "mvhd"))
            out.push_back(static_cast<std::uint32_t>(p));
    return out;
}

TEST(MovieAtomSearch, FindsEveryMatchLikeAPlainSearch) {
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        Bytes buf(kReadBytes);
        for (auto& b : buf) b = static_cast<std::uint8_t>(rng() % 4 == 0 ? 'm' : rng());
        // Matches at the edges, in the middle, across the step end, and
        // half-matches that must not count.
        for (std::size_t p : {std::size_t{0}, std::size_t{15}, std::size_t{16}, std::size_t{4093},
                              std::size_t{65535 - 11}, std::size_t{65535}, std::size_t{66036},
                              static_cast<std::size_t>(rng() % 65000)}) {
            std::copy_n("moov", 4, buf.begin() + p);
            std::copy_n("mvhd", 4, buf.begin() + p + 8);
        }
        std::copy_n("moov", 4, buf.begin() + 30000);
        std::copy_n("mvhx", 4, buf.begin() + 30008);
        std::vector<std::uint32_t> hits;
        FindMovieAtoms(ByteView(buf), kStepBytes, hits);
        EXPECT_EQ(hits, Reference(buf, kStepBytes)) << round;
        EXPECT_EQ(hits.back(), 65535u);
    }
}

// --- resume rules ---

ScanGeometry Geometry(bool raw, std::int64_t spc, std::int64_t base = 0) {
    ScanGeometry g;
    g.raw = raw;
    g.cluster_sectors = spc;
    g.base = base;
    g.range_end = 1 << 30;
    return g;
}

TEST(ScanResume, HeadOnRawResumesAtTheSectorAfterIt) {
    const auto g = Geometry(true, 8);
    // HEAD at sector 10 of the read at 256: resumes at sector 18.
    const std::int64_t s = (256 + 10) * 512;
    const auto d = DecideResume(g, {s, s + 4096, 256, 10});
    EXPECT_EQ(d.kind, ResumeDecision::ContinueAt);
    EXPECT_EQ(d.index, 18);
}

TEST(ScanResume, FileSystemResumesAtTheNextClusterStart) {
    const auto g = Geometry(false, 8, 1000);  // FAT32-like base
    // Sector 13 from the base: the HEAD ends at 21 -> next cluster start 24.
    const std::int64_t s = (1000 + 13) * 512;
    auto d = DecideResume(g, {s, s + 4096, 0, 13});
    EXPECT_EQ(d.kind, ResumeDecision::ContinueAt);
    EXPECT_EQ(d.index, 24);
    // A cluster-aligned end resumes right there.
    const std::int64_t s2 = (1000 + 16) * 512;
    d = DecideResume(g, {s2, s2 + 4096, 0, 16});
    EXPECT_EQ(d.index, 24);
}

TEST(ScanResume, EndAtTheReadEndSkipsTheRestAndBeyondJumps) {
    const auto g = Geometry(true, 8);
    std::int64_t s = 120 * 512;
    EXPECT_EQ(DecideResume(g, {s, s + 4096, 0, 120}).kind, ResumeDecision::NextRead);
    const auto jump = DecideResume(g, {s, s + 100 * 512 * 128 + 777, 0, 120});
    EXPECT_EQ(jump.kind, ResumeDecision::Jump);
    const std::int64_t r = (s + 100 * 512 * 128 + 777) / 512;
    EXPECT_EQ(jump.w, r / 128 * 128);
    EXPECT_EQ(jump.w + jump.index, r);
}

TEST(ScanResume, ReadsNotOnMultiplesOf128ResumeAtTheRightSector) {
    const auto g = Geometry(true, 8);
    const std::int64_t w = 1000;  // a start sector that is not a multiple of 128
    const std::int64_t s = (w + 5) * 512;
    const auto d = DecideResume(g, {s, s + 4096, w, 5});
    EXPECT_EQ(d.kind, ResumeDecision::ContinueAt);
    EXPECT_EQ(w + d.index, w + 5 + 8);
}

TEST(ScanResume, ShortOrBackwardFragmentsMoveOneSector) {
    const auto g = Geometry(true, 8);
    EXPECT_EQ(DecideResume(g, {5000, 5000, 0, 9}).kind, ResumeDecision::NextSector);
    EXPECT_EQ(DecideResume(g, {5000, 4000, 0, 9}).kind, ResumeDecision::NextSector);
    const auto d = DecideResume(g, {9 * 512 + 100, 9 * 512 + 300, 0, 9});
    EXPECT_EQ(d.kind, ResumeDecision::NextSector);
}

// --- gauge ---

TEST(ScanGauge, SmallSourcesDriveTheGaugeDirectly) {
    ScanGauge g(1'000'128);
    EXPECT_FALSE(g.scaled());
    EXPECT_EQ(g.maximum(), 1'000'000);
    EXPECT_EQ(g.position(4096), 4096);
    EXPECT_EQ(ScanGauge(2147483647ll + 128).maximum(), 2147483647ll);
    EXPECT_FALSE(ScanGauge(2147483647ll + 128).scaled());
}

TEST(ScanGauge, HugeSourcesDriveAScaledGaugeThatNeverOverflows) {
    for (std::int64_t end :
         {2147483647ll + 129, 4'294'967'296ll, 3'000'000'000ll, (1ll << 40) + 12345}) {
        ScanGauge g(end);
        ASSERT_TRUE(g.scaled()) << end;
        EXPECT_EQ(g.maximum(), 2147483647ll);
        const double ratio = RoundTwoDecimals(static_cast<double>(end - 128) / 2147483647.0);
        EXPECT_DOUBLE_EQ(g.increment(), RoundTwoDecimals(128.0 / ratio));
        std::int64_t last = 0;
        const std::int64_t steps = end / 128;
        // Whole run in big strides: positions rise and stay inside the range.
        for (std::int64_t done = 0; done < steps; done += steps / 64 + 1) {
            g.advance((steps / 64 + 1) * 128);
            const std::int64_t p = g.position(0);
            EXPECT_GE(p, last);
            EXPECT_LE(p, g.maximum());
            last = p;
        }
        EXPECT_GT(last, g.maximum() * 9 / 10) << end;
    }
    EXPECT_DOUBLE_EQ(ScanGauge(4'294'967'296ll).increment(), 64.0);
}

TEST(ScanGauge, RoundingIsHalfToEven) {
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_DOUBLE_EQ(RoundTwoDecimals(1.004), 1.0);
    EXPECT_DOUBLE_EQ(RoundTwoDecimals(2.0), 2.0);
}

// --- whole scans of raw images ---

using RawScanTest = scantest::RawImageScanTest;

using scantest::Camera;

TEST_F(RawScanTest, HeadAndMovieRowsCarryTheirCells) {
    const auto mov = Camera(30, 1);
    scantest::Image image(2 << 20, 0);
    const std::int64_t head_at = 37 * 512;
    const std::int64_t moov_at = 1'200'000 + 3;  // far away and not sector-aligned
    image.put(head_at, mov.head);
    image.put(moov_at, mov.moov);
    auto& run = Scan(image);
    const auto& f = run.done().fragments;
    ASSERT_EQ(f.row_count(), 2u);
    // Sorted: moov first. Row 1 is the HEAD.
    EXPECT_EQ(f.cell(0, frag::StartType), "moov");
    EXPECT_EQ(f.cell(0, frag::StartOffset), dec(moov_at));
    EXPECT_EQ(f.cell(0, frag::EndType), "moov");
    EXPECT_EQ(f.cell(0, frag::StszOff), dec(moov_at + mov.stsz_offset - mov.moov_offset()));
    EXPECT_EQ(f.cell(0, frag::StcoOff), dec(moov_at + mov.stco_offset - mov.moov_offset()));
    EXPECT_EQ(f.cell(1, frag::StartType), "HEAD");
    EXPECT_EQ(f.cell(1, frag::StartOffset), dec(head_at));
    EXPECT_EQ(f.cell(1, frag::EndType), "mdat");
    EXPECT_EQ(f.cell(1, frag::ShootDate), "2012:05:03 14:22:10");
    EXPECT_EQ(f.cell(1, frag::OwnLength), dec(static_cast<std::int64_t>(mov.head.size())));
    EXPECT_EQ(f.cell(1, frag::Order), "1");
    EXPECT_EQ(f.cell(1, frag::StszOff), "0");
    EXPECT_EQ(run.reporter.status_of(2).back(), "发现Canon视频碎片数量:2");
}

TEST_F(RawScanTest, UnpairedHeadKeepsItsScanTimeCells) {
    auto mov = Camera(3, 2);
    scantest::Image image(1 << 20, 0);
    image.put(64 * 512, mov.head);
    auto& run = Scan(image);
    const auto& f = run.done().fragments;
    ASSERT_EQ(f.row_count(), 1u);
    EXPECT_EQ(f.cell(0, frag::SN), "0");
    EXPECT_EQ(f.cell(0, frag::EndOffset), dec(64 * 512 + 4095));
    EXPECT_EQ(f.cell(0, frag::LengthSectors), "7");
    EXPECT_TRUE(run.done().outputs.empty());
}

TEST_F(RawScanTest, AHeadSpansFourKilobytesAndTheScanResumesRightAfter) {
    const Bytes sector = HeadSectorBytes(100'000);
    scantest::Image image(1 << 20, 0);
    image.put(10 * 512, sector);
    image.put(17 * 512, sector);  // inside the first HEAD's 4096 bytes: not tested
    image.put(18 * 512, sector);  // the sector right after it
    auto& run = Scan(image);
    EXPECT_EQ(scantest::Column(run.done().fragments, frag::StartOffset),
              (std::vector<std::string>{dec(10 * 512), dec(18 * 512)}));
}

TEST_F(RawScanTest, LargeFileOnlyKeepsOnlySixtyFourBitMdatHeads) {
    cardgen::MovOptions big;
    big.mdat64 = true;
    big.co64 = true;
    const auto small = Camera(4, 3);
    const auto large = Camera(4, 4, true, big);
    scantest::Image image(1 << 20, 0);
    image.put(8 * 512, small.head);
    image.put(200 * 512, large.head);
    ScanSettings settings;
    settings.LargeFileOnly = true;
    auto& run = Scan(image, settings);
    ASSERT_EQ(run.done().fragments.row_count(), 1u);
    EXPECT_EQ(run.done().fragments.cell(0, frag::StartOffset), dec(200 * 512));
    EXPECT_EQ(run.done().fragments.cell(0, frag::OwnLength),
              dec(static_cast<std::int64_t>(large.head.size())));
}

TEST_F(RawScanTest, ShortHeaderGivesNoRowAndTheScanGoesOn) {
    // A movie atom that ends 100 bytes after its start, then a real head.
    const Bytes tiny =
        scantest::Atom("moov", scantest::Concat({scantest::Atom("mvhd", Bytes(84, 0))}));
    const auto mov = Camera(3, 5);
    scantest::Image image(1 << 20, 0);
    image.put(3 * 512 + 40, tiny);
    image.put(9 * 512, mov.head);
    auto& run = Scan(image);
    ASSERT_EQ(run.done().fragments.row_count(), 1u);
    EXPECT_EQ(run.done().fragments.cell(0, frag::StartType), "HEAD");
}

TEST_F(RawScanTest, ShiftedContentShiftsEveryOffsetByTheSameAmount) {
    const auto a = Camera(20, 6);
    const auto b = Camera(25, 7, false);
    auto build = [&](std::int64_t shift) {
        scantest::Image image(3 << 20, 0);
        image.put(shift + 5 * 512, a.head);
        image.put(shift + 5 * 512 + static_cast<std::int64_t>(a.head.size()), a.moov);
        image.put(shift + 1'000 * 512, b.head);
        image.put(shift + 2'500'000 + 77, b.moov);
        return image;
    };
    auto cells = [&](scantest::ScanRun& run) {
        std::vector<std::vector<std::int64_t>> out;
        for (const auto& row : run.done().fragments.rows())
            out.push_back({*parse_int64(row.cells[frag::StartOffset]),
                           *parse_int64(row.cells[frag::EndOffset]),
                           *parse_int64(row.cells[frag::StszOff]),
                           *parse_int64(row.cells[frag::StcoOff])});
        return out;
    };
    const auto base = cells(Scan(build(0)));
    ASSERT_EQ(base.size(), 4u);
    for (std::int64_t sectors : {1, 3, 127, 128, 129}) {
        const std::int64_t shift = sectors * 512;
        const auto moved = cells(Scan(build(shift)));
        ASSERT_EQ(moved.size(), base.size()) << sectors;
        for (std::size_t r = 0; r < base.size(); ++r)
            for (std::size_t c = 0; c < 4; ++c) {
                const std::int64_t expect = base[r][c] == 0 ? 0 : base[r][c] + shift;
                EXPECT_EQ(moved[r][c], expect) << "shift " << sectors << " row " << r;
            }
        EXPECT_EQ(run_->done().outputs.row_count(), 2u) << sectors;
    }
}

TEST_F(RawScanTest, MovieAtomStraddlingTheStepEndIsFound) {
    const auto mov = Camera(10, 8);
    for (std::int64_t at : {65536 - 4, 65536 - 2, 65536 + 1, 2 * 65536 - 8}) {
        scantest::Image image(1 << 20, 0);
        image.put(at, mov.moov);
        auto& run = Scan(image);
        ASSERT_EQ(run.done().fragments.row_count(), 1u) << at;
        EXPECT_EQ(run.done().fragments.cell(0, frag::StartOffset), dec(at)) << at;
    }
}

TEST_F(RawScanTest, RandomBytesAroundFilesDoNotDisturbTheScan) {
    std::mt19937_64 rng(99);
    scantest::Image image(4 << 20, 0);
    for (auto& b : image.bytes) b = static_cast<std::uint8_t>(rng());
    const auto mov = Camera(40, 9);
    image.put(300 * 512, mov.head);
    image.put(300 * 512 + static_cast<std::int64_t>(mov.head.size()), mov.moov);
    auto& run = Scan(image);
    ASSERT_EQ(run.done().results.row_count(), 1u);
    EXPECT_EQ(run.done().results.cell(0, resc::Quality), "非常好");
    EXPECT_EQ(run.done().results.cell(0, resc::Frames), "40");
}

}  // namespace
}  // namespace tav

namespace tav {
namespace {

// Signatures with random sizes and tags everywhere: the scan must finish and
// every row must describe bytes at a sane place, whatever the medium holds.
// On a file system nothing else starts in the rest of a start region's
// cluster, but a clip shorter than the cluster has its header there.
TEST(ClusterScan, AClipShorterThanItsClusterPairsWithTheHeaderInIt) {
    const auto mov = scantest::Camera(3, 5);
    ASSERT_LT(mov.size(), 64 * 1024);
    TDiskInfo info = scantest::RawInfo(4 << 20);
    info.FileSystem = "FAT32";
    info.SectorsPerCluster = 256;
    info.BytesPerCluster = 128 * 1024;
    info.StartSector = 2048;
    test::TempDir dir;
    const auto path = dir / "fat.img";
    scantest::Image image(4 << 20, 0);
    const std::int64_t at = (2048 + 3 * 256) * 512;
    image.put(at, mov.head);
    image.put(at + mov.moov_offset(), mov.moov);
    image.save(path);
    scantest::ScanRun run;
    scantest::RunScanOn(run, path.string(), info, 2, 1);
    EXPECT_EQ(run.done().results.row_count(), 1u);
}

TEST(RawScanRobustness, GarbageFullOfSignaturesNeverBreaksTheScan) {
    std::mt19937_64 rng(2024);
    scantest::Image image(3 << 20);
    for (auto& b : image.bytes) b = static_cast<std::uint8_t>(rng());
    const char* tags[] = {"moov", "trak", "stsz", "stco", "co64", "mdat",
                          "DATE", "TIME", "CNMN", "ftyp", "udta", "stbl"};
    for (int k = 0; k < 4000; ++k) {
        const std::size_t at = rng() % (image.bytes.size() - 16);
        store_be32(image.bytes.data() + at,
                   static_cast<std::uint32_t>(rng() % 4 ? rng() % 4096 : rng()));
        std::copy_n(tags[rng() % 12], 4, image.bytes.begin() + at + 4);
        if (rng() % 3 == 0) std::copy_n("mvhd", 4, image.bytes.begin() + at + 12);
    }
    for (int k = 0; k < 200; ++k) {
        const std::size_t sector = rng() % (image.bytes.size() / 512);
        std::copy_n("ftypqt  ", 8, image.bytes.begin() + sector * 512 + 4);
    }
    test::TempDir dir;
    const auto path = dir / "garbage.img";
    image.save(path);
    for (bool large : {false, true}) {
        scantest::ScanRun run;
        ScanSettings settings;
        settings.LargeFileOnly = large;
        scantest::RunScanOn(run, path.string(), scantest::RawInfo(3 << 20), 3, 1, settings);
        EXPECT_EQ(run.reporter.results_shown, 1);
        for (const auto& row : run.done().fragments.rows()) {
            const auto start = parse_int64(row.cells[frag::StartOffset]);
            ASSERT_TRUE(start);
            EXPECT_GE(*start, 0);
            EXPECT_LT(*start, 3 << 20);
        }
    }
}

}  // namespace
}  // namespace tav

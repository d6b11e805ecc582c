// Reading the sample tables, the last-frame check, pairing and grading, and
// the cells, output rows and result rows the analysis writes.

#include <gtest/gtest.h>

#include <limits>

#include "cardgen/mov_builder.hpp"
#include "common/decimal.hpp"
#include "platform/source_reader.hpp"
#include "scan/fragment_analysis.hpp"
#include "scan/sample_tables.hpp"
#include "scan/table_writer.hpp"
#include "scan_test_support.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

using scantest::Bytes;

class SourceFile : public ::testing::Test {
  protected:
    SourceReader Open(const scantest::Image& image) {
        image.save(path_);
        return std::move(*SourceReader::open(path_.string()));
    }
    test::TempDir dir_;
    std::filesystem::path path_ = dir_ / "src.bin";
};

using LastFrame = SourceFile;

TEST_F(LastFrame, DelimiterValueVerifiesWithoutFurtherReads) {
    scantest::Image image(4096);
    image.put(1000, scantest::Be32(0x00010009));
    const auto src = Open(image);
    EXPECT_TRUE(VerifyLastFrame(src, 1000, 12345));
}

TEST_F(LastFrame, ShortFirstNalAndTheNextLengthMustAddUpToTheSampleSize) {
    scantest::Image image(4096);
    image.put(1000, scantest::Be32(2));           // N = 2
    image.put(1000 + 2 + 4, scantest::Be32(90));  // X = 90
    const auto src = Open(image);
    EXPECT_TRUE(VerifyLastFrame(src, 1000, 2 + 90 + 8));
    EXPECT_FALSE(VerifyLastFrame(src, 1000, 2 + 90 + 9));
}

TEST_F(LastFrame, LongFirstNalDoesNotVerify) {
    scantest::Image image(4096);
    image.put(1000, scantest::Be32(255));
    image.put(1000 + 255 + 4, scantest::Be32(0));
    const auto src = Open(image);
    EXPECT_FALSE(VerifyLastFrame(src, 1000, 255 + 8));
    EXPECT_FALSE(VerifyLastFrame(src, 1 << 20, 9));  // past the end: zeros, N = 0, X = 0
}

using TableTailTest = SourceFile;

TEST_F(TableTailTest, SmallTablesGiveCountAndLastEntry) {
    scantest::Image image(8192);
    image.put(700, scantest::Stsz({10, 20, 30}));
    image.put(3000, scantest::Stco({1000, 2000, 3000}));
    const auto src = Open(image);
    TableProblem problem;
    const auto sizes = ReadTableTail(src, 700, 8000, true, problem);
    ASSERT_TRUE(sizes);
    EXPECT_EQ(sizes->count, 3u);
    EXPECT_EQ(sizes->last, 30u);
    const auto offsets = ReadTableTail(src, 3000, 8000, false, problem);
    ASSERT_TRUE(offsets);
    EXPECT_EQ(offsets->last, 3000u);
    // Each pass wants its own kind of table.
    EXPECT_FALSE(ReadTableTail(src, 700, 8000, false, problem));
    EXPECT_FALSE(ReadTableTail(src, 3000, 8000, true, problem));
}

TEST_F(TableTailTest, LargeTablesAreReadFromTheirLastEntryAlone) {
    std::vector<std::uint32_t> offsets(20000);
    for (std::size_t k = 0; k < offsets.size(); ++k) offsets[k] = static_cast<std::uint32_t>(k * 3);
    scantest::Image image(200'000);
    const std::int64_t at = 511;  // late in its sector: a whole-table copy would overrun
    image.put(at, scantest::Stco(offsets));
    const auto src = Open(image);
    TableProblem problem;
    const auto tail = ReadTableTail(src, at, 199'999, false, problem);
    ASSERT_TRUE(tail);
    EXPECT_EQ(tail->count, 20000u);
    EXPECT_EQ(tail->last, 19999u * 3);
}

TEST_F(TableTailTest, Co64EntriesAreSixtyFourBit) {
    Bytes p = scantest::Concat({scantest::Be32(0), scantest::Be32(2), Bytes(16, 0)});
    store_be64(p.data() + 8 + 8, 0x1'0000'0005ull);
    scantest::Image image(4096);
    image.put(100, scantest::Atom("co64", p));
    const auto src = Open(image);
    TableProblem problem;
    const auto tail = ReadTableTail(src, 100, 4000, false, problem);
    ASSERT_TRUE(tail);
    EXPECT_EQ(tail->last, 0x1'0000'0005ull);
}

TEST_F(TableTailTest, TablesThatDoNotFitAreNotRead) {
    scantest::Image image(8192);
    image.put(100, scantest::Stsz({1, 2, 3, 4}));  // 36 bytes: last byte 135
    Bytes lying = scantest::Stco({1, 2});
    store_be32(lying.data() + 12, 0x40000000);  // count far beyond the atom
    image.put(1000, lying);
    image.put(2000, scantest::Stsz({5}, 512));  // common sample size
    const auto src = Open(image);
    TableProblem problem;
    EXPECT_FALSE(ReadTableTail(src, 100, 134, true, problem));  // runs past its fragment
    EXPECT_EQ(problem, TableProblem::Missing);
    EXPECT_TRUE(ReadTableTail(src, 100, 135, true, problem));
    EXPECT_FALSE(ReadTableTail(src, 1000, 8000, false, problem));
    EXPECT_FALSE(ReadTableTail(src, 2000, 8000, true, problem));
    EXPECT_EQ(problem, TableProblem::CommonSize);
    EXPECT_FALSE(ReadTableTail(src, 0, 8000, true, problem));
}

TEST_F(TableTailTest, OffsetsAtTheTopOfTheRangeReadAsZeros) {
    const auto src = Open(scantest::Image(4096));
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    TableProblem problem;
    for (const std::int64_t offset : {kMax, kMax - 511, kMax - 1024}) {
        EXPECT_EQ(ReadBe32At(src, offset), 0u) << offset;
        EXPECT_EQ(ReadBe64At(src, offset), 0u) << offset;
        EXPECT_FALSE(ReadTableTail(src, offset, kMax, true, problem)) << offset;
    }
    // Zeros there would verify a sample of 8 bytes, but the second length
    // would lie past 64 bits.
    EXPECT_TRUE(VerifyLastFrame(src, kMax - 4, 8));
    EXPECT_FALSE(VerifyLastFrame(src, kMax - 3, 8));
}

// Cells come from the scan or from a loaded file: a length or an offset may
// be any 64-bit number, and sums that do not fit are left out.
TEST_F(SourceFile, CellsWhoseSumsDoNotFitAreLeftOut) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    scantest::Image image(8192);
    image.put(700, scantest::Stsz({10, 20, 30}));
    image.put(3000, scantest::Stco({1000, 2000, 3000}));
    const auto src = Open(image);
    struct Case {
        std::string moov_sectors, head_start, file_length;
    };
    const Case cases[] = {
        {"3", "100", dec(4 * 512 + 3030)},
        {dec(kMax), "100", ""},                        // (sectors + 1) * 512 overflows
        {dec(kMax / 512 - 1), "100", ""},              // the sum with the media end overflows
        {"3", dec(kMax - 3000), dec(4 * 512 + 3030)},  // the last frame lies at the top
    };
    for (const auto& c : cases) {
        TableSet before;
        auto row = [](std::initializer_list<std::pair<frag::Col, std::string>> cells) {
            std::vector<std::string> r(frag::Count);
            for (const auto& [col, text] : cells) r[col] = text;
            return r;
        };
        before.fragments.add_row(row({{frag::StartType, "moov"},
                                      {frag::EndOffset, "8000"},
                                      {frag::LengthSectors, c.moov_sectors},
                                      {frag::StszOff, "700"},
                                      {frag::StcoOff, "3000"},
                                      {frag::Order, "0"}}));
        before.fragments.add_row(row({{frag::StartType, "HEAD"},
                                      {frag::StartOffset, c.head_start},
                                      {frag::OwnLength, "3030"},
                                      {frag::Order, "1"}}));
        ScanTables tables(before);
        scantest::ScanRecorder reporter;
        TableWriter writer(tables, reporter);
        FragmentAnalysis(src, ScanSettings{}, writer, reporter).run();
        const TextTable after = tables.snapshot().fragments;
        EXPECT_EQ(after.cell(0, frag::Fragments), "1,0,") << c.moov_sectors;
        EXPECT_EQ(after.cell(0, frag::Quality), "好") << c.moov_sectors;
        EXPECT_EQ(after.cell(0, frag::FileLength), c.file_length) << c.moov_sectors;
    }
}

// --- the analysis over whole scans ---

class AnalysisTest : public scantest::RawImageScanTest {
  protected:
    const TextTable& F() const { return run_->done().fragments; }
};

using scantest::Camera;

TEST_F(AnalysisTest, PairedFileIsGradedAndItsCellsRewritten) {
    const auto mov = Camera(50, 11);
    scantest::Image image(2 << 20);
    const std::int64_t head_at = 40 * 512;
    const std::int64_t moov_at = 1'500'001;
    image.put(head_at, mov.head);
    image.put(moov_at, mov.moov);
    auto& run = Scan(image);
    ASSERT_EQ(F().row_count(), 2u);
    const std::int64_t own = static_cast<std::int64_t>(mov.head.size());
    // moov row 0, HEAD row 1.
    EXPECT_EQ(F().cell(0, frag::OwnLength), dec(own));
    EXPECT_EQ(F().cell(0, frag::Frames), "50");
    EXPECT_EQ(F().cell(0, frag::Fragments), "1,0,");
    EXPECT_EQ(F().cell(0, frag::Quality), "非常好");
    const std::int64_t moov_sectors = *parse_int64(F().cell(0, frag::LengthSectors));
    EXPECT_EQ(F().cell(0, frag::FileLength), dec((moov_sectors + 1) * 512 + own));
    EXPECT_EQ(F().cell(1, frag::EndOffset), dec(head_at + own));  // now an exclusive end
    EXPECT_EQ(F().cell(1, frag::LengthSectors), dec(own / 512));

    const auto& out = run.done().outputs;
    ASSERT_EQ(out.row_count(), 1u);
    EXPECT_EQ(out.row(0).cells,
              (std::vector<std::string>{"0", F().cell(0, frag::FileLength), "2", "非常好", "",
                                        "1,0,", "50", "2012:05:03 14:22:10"}));
    const auto& res = run.done().results;
    ASSERT_EQ(res.row_count(), 1u);
    EXPECT_EQ(res.row(0).cells,
              (std::vector<std::string>{"0", HumanLength(*parse_int64(out.cell(0, 1))), "2",
                                        "非常好", "50", "2012:05:03 14:22:10"}));
}

// A file split in two: its second piece gets a row of its own and the file
// lists three fragments; without a second piece that checks, the file is
// graded incomplete and says how much of it could not be followed.
TEST_F(AnalysisTest, SplitMediaDataIsListedPieceByPiece) {
    const auto mov = Camera(60, 14);
    const cardgen::Bytes file = mov.bytes();
    const std::int64_t head_at = 64 * 512, second_at = 900 * 512, cut = 20 * 512;
    for (const bool with_second : {true, false}) {
        SCOPED_TRACE(with_second);
        scantest::Image image(2 << 20, 0x5A);
        image.put(head_at, cardgen::Bytes(file.begin(), file.begin() + cut));
        if (with_second)
            image.put(second_at, cardgen::Bytes(file.begin() + cut, file.end()));
        else
            image.put(second_at + cut, mov.moov);
        auto& run = Scan(image);
        const std::int64_t own = static_cast<std::int64_t>(mov.head.size());
        const auto& out = run.done().outputs;
        ASSERT_EQ(out.row_count(), 1u);
        if (with_second) {
            ASSERT_EQ(F().row_count(), 3u);
            EXPECT_EQ(F().cell(1, frag::EndOffset), dec(head_at + cut));
            EXPECT_EQ(F().row(2).cells, (std::vector<std::string>{
                                            "2", "mdat", dec(second_at), "mdat",
                                            dec(second_at + own - cut), dec((own - cut) / 512), "",
                                            "", "", dec(own - cut), "", "0", "0", "1", ""}));
            EXPECT_EQ(out.cell(0, outc::FragmentList), "1,2,0,");
            EXPECT_EQ(out.cell(0, outc::FragmentCount), "3");
            EXPECT_EQ(run.done().results.cell(0, resc::FragmentCount), "3");
            EXPECT_EQ(out.cell(0, outc::Quality), "非常好");
            EXPECT_EQ(out.cell(0, outc::MissingSectors), "");
        } else {
            EXPECT_EQ(out.cell(0, outc::FragmentList), "1,0,");
            EXPECT_EQ(F().cell(1, frag::EndOffset), dec(head_at + own));
            EXPECT_EQ(out.cell(0, outc::Quality), "不完整");
            const auto missing = parse_int64(out.cell(0, outc::MissingSectors));
            ASSERT_TRUE(missing);
            EXPECT_GE(*missing, (own - cut) / 512);
            EXPECT_LE(*missing, (own - cut) / 512 + 8);
        }
    }
}

TEST_F(AnalysisTest, WithoutDelimitersTheFileIsGradedGood) {
    const auto mov = Camera(30, 12, false);
    scantest::Image image(1 << 20);
    image.put(8 * 512, mov.bytes());
    auto& run = Scan(image);
    ASSERT_EQ(run.done().results.row_count(), 1u);
    EXPECT_EQ(run.done().results.cell(0, resc::Quality), "好");
    EXPECT_EQ(run.done().outputs.cell(0, outc::FileLength), F().cell(0, frag::FileLength));
}

TEST_F(AnalysisTest, HeaderWithoutItsHeadIsPoorAndNotListed) {
    const auto mov = Camera(12, 13);
    scantest::Image image(1 << 20);
    image.put(5000, mov.moov);
    auto& run = Scan(image);
    ASSERT_EQ(F().row_count(), 1u);
    EXPECT_EQ(F().cell(0, frag::Fragments), ",0,");
    EXPECT_EQ(F().cell(0, frag::Quality), "差");
    EXPECT_EQ(F().cell(0, frag::FileLength), "");
    EXPECT_TRUE(run.done().outputs.empty());
    EXPECT_TRUE(run.done().results.empty());
}

TEST_F(AnalysisTest, TwoHeadsWithTheSameLengthPairTheFirst) {
    const auto mov = Camera(9, 14);
    scantest::Image image(1 << 20);
    image.put(10 * 512, mov.head);
    image.put(300 * 512, mov.head);
    image.put(700'003, mov.moov);
    auto& run = Scan(image);
    ASSERT_EQ(F().row_count(), 3u);
    EXPECT_EQ(F().cell(0, frag::Fragments), "1,0,");
    EXPECT_EQ(F().cell(2, frag::EndOffset), dec(300 * 512 + 4095));  // unpaired, untouched
    EXPECT_EQ(run.done().outputs.row_count(), 1u);
}

// Copies of one clip (or clips of one length): each header takes its own
// start region, the one it follows directly, else one no header took yet.
TEST_F(AnalysisTest, ClipsOfOneLengthPairTheirOwnStartRegions) {
    const auto mov = Camera(9, 14);
    const auto own = static_cast<std::int64_t>(mov.head.size());
    const std::int64_t heads[] = {10 * 512, 300 * 512};
    for (const bool whole_files : {true, false}) {
        SCOPED_TRACE(whole_files);
        scantest::Image image(1 << 20);
        for (int i = 0; i < 2; ++i) {
            image.put(heads[i], mov.head);
            image.put(whole_files ? heads[i] + own : 700'003 + i * 100'000, mov.moov);
        }
        auto& run = Scan(image);
        ASSERT_EQ(F().row_count(), 4u);  // the two headers, then the two start regions
        EXPECT_EQ(F().cell(0, frag::Fragments), "2,0,");
        EXPECT_EQ(F().cell(1, frag::Fragments), "3,1,");
        EXPECT_EQ(run.done().outputs.row_count(), 2u);
    }
}

TEST_F(AnalysisTest, LargeChunkTableIsAnalysedFromItsLastEntry) {
    const auto mov = Camera(16400, 15);
    scantest::Image image(mov.bytes().size() + (1 << 20));
    image.put(512, mov.bytes());
    auto& run = Scan(image);
    ASSERT_EQ(run.done().results.row_count(), 1u);
    EXPECT_EQ(run.done().results.cell(0, resc::Frames), "16400");
    EXPECT_EQ(run.done().results.cell(0, resc::Quality), "非常好");
}

TEST_F(AnalysisTest, NonZeroCommonSampleSizeWarnsAndLeavesTheRowOut) {
    auto mov = Camera(6, 16);
    const std::int64_t stsz = mov.stsz_offset - mov.moov_offset();
    store_be32(mov.moov.data() + stsz + 12, 4000);
    scantest::Image image(1 << 20);
    image.put(1024, mov.bytes());
    auto& run = Scan(image);
    ASSERT_EQ(run.reporter.boxes.size(), 1u);
    EXPECT_EQ(run.reporter.boxes[0],
              (UserMessage{"STSZ异常", "发现STSZ非0取值，请反馈错误信息给开发者!", MsgIcon::Warning,
                           MsgButtons::Ok}));
    EXPECT_EQ(F().cell(0, frag::Quality), "");
    EXPECT_TRUE(run.done().outputs.empty());
}

TEST_F(AnalysisTest, VideoAndSoundTracksPairThroughTheVideoTrack) {
    cardgen::MovOptions options;
    options.sound_track = true;
    const auto mov = Camera(20, 17, true, options);
    scantest::Image image(2 << 20);
    image.put(2048, mov.bytes());
    auto& run = Scan(image);
    ASSERT_EQ(run.done().results.row_count(), 1u);
    EXPECT_EQ(run.done().results.cell(0, resc::Frames), "20");
}

TEST_F(AnalysisTest, EmptyScanStillWritesEveryLineAndShowsResults) {
    auto& run = Scan(scantest::Image(256 * 1024));
    const auto m = run.reporter.messages();
    EXPECT_EQ(m,
              (std::vector<std::string>{"扫描完成", "开始排序......", "排序完成",
                                        "分析Head碎片长度......", "分析Head碎片完毕", "分析完毕"}));
    EXPECT_EQ(run.reporter.status_of(0), (std::vector<std::string>{"扫描中......", "就绪"}));
    EXPECT_EQ(run.reporter.results_shown, 1);
    EXPECT_TRUE(F().empty());
}

}  // namespace
}  // namespace tav

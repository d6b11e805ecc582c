// The atom walk over a movie header and AnalyzeHeader across read windows.

#include <gtest/gtest.h>

#include <algorithm>

#include "scan/atom_walk.hpp"
#include "scan/header_analysis.hpp"
#include "scan_test_support.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

using scantest::Atom;
using scantest::Bytes;
using scantest::Concat;

// Position of the first atom of that type (its size field) in bytes.
std::int64_t FindAtom(const Bytes& bytes, std::string_view type) {
    const auto it = std::search(bytes.begin(), bytes.end(), type.begin(), type.end());
    return it == bytes.end() ? -1 : (it - bytes.begin()) - 4;
}

Bytes Leaf(std::string_view type) {
    return Atom(type, Bytes(12, 0x11));
}

Bytes Track(const Bytes& chunk_table, const Bytes& extra_leaves = {}) {
    const Bytes stbl = Atom("stbl", Concat({Leaf("stsd"), Leaf("stts"), Leaf("stss"), Leaf("stps"),
                                            Leaf("ctts"), Leaf("cslg"), Leaf("stsc"), Leaf("txas"),
                                            scantest::Stsz({100, 200, 300}), chunk_table}));
    const Bytes minf = Atom("minf", Concat({Leaf("vmhd"), Leaf("smhd"), Leaf("dinf"), stbl}));
    const Bytes mdia = Atom("mdia", Concat({Leaf("mdhd"), Leaf("hdlr"), Leaf("imap"), minf}));
    return Atom("trak", Concat({Leaf("tkhd"), Leaf("tref"), Leaf("tapt"), Leaf("clip"),
                                Leaf("matt"), Leaf("edts"), Leaf("meta"), extra_leaves, mdia}));
}

Bytes Co64() {
    return Atom("co64", Concat({scantest::Be32(0), scantest::Be32(1), Bytes(8, 0)}));
}

Bytes Movie(const Bytes& children) {
    return Atom("moov", Concat({Leaf("mvhd"), children}));
}

Bytes Udta(bool cnmn) {
    return Atom("udta", cnmn ? Concat({Leaf("CNCV"), Leaf("CNMN")}) : Leaf("CNCV"));
}

// Walks bytes placed at p inside one read window that starts at `start`.
struct WalkResult {
    HeaderInfo info;
    WalkOutcome outcome;
    std::int64_t p;
};

WalkResult Walk(const Bytes& bytes, std::int64_t p = 0, bool large_only = false,
                std::int64_t start = 0) {
    Bytes window(kReadBytes, 0);
    std::copy_n(bytes.begin(), std::min(bytes.size(), window.size() - p), window.begin() + p);
    WalkResult r;
    r.info.EndOffset = start + p;
    r.p = p;
    r.outcome = WalkWindow(ByteView(window), start, r.p, r.info, large_only);
    return r;
}

TEST(AtomTable, EveryTypeHasItsAction) {
    for (auto t : {"moov", "trak", "mdia", "minf", "stbl", "udta"})
        EXPECT_EQ(ClassifyAtom(ByteView(reinterpret_cast<const std::uint8_t*>(t), 4)),
                  AtomAction::Descend)
            << t;
    for (auto t : {"ftyp", "stsz", "stco", "co64", "mvhd", "tkhd", "tref", "tapt", "clip",
                   "matt", "edts", "meta", "mdhd", "hdlr", "imap", "vmhd", "smhd", "dinf",
                   "stsd", "stts", "stss", "stps", "ctts", "cslg", "stsc", "txas", "CNCV"})
        EXPECT_EQ(ClassifyAtom(ByteView(reinterpret_cast<const std::uint8_t*>(t), 4)),
                  AtomAction::Skip)
            << t;
    EXPECT_EQ(ClassifyAtom(ByteView(reinterpret_cast<const std::uint8_t*>("CNMN"), 4)),
              AtomAction::SkipAndEnd);
    for (auto t : {"mdat", "free", "MOOV", "cnmn", "\0\0\0\0"})
        EXPECT_EQ(ClassifyAtom(ByteView(reinterpret_cast<const std::uint8_t*>(t), 4)),
                  AtomAction::Stop)
            << t;
}

TEST(AtomWalk, FullCameraHeaderEndsRightAfterCnmn) {
    const Bytes moov = Movie(Concat({Track(scantest::Stco({1, 2, 3})), Udta(true)}));
    // Anything after CNMN must not be walked, not even a ftyp.
    const Bytes bytes = Concat({moov, Atom("ftyp", Bytes(16, 0))});
    const auto r = Walk(bytes, 100, false, 1'000'000);
    EXPECT_EQ(r.outcome, WalkOutcome::End);
    EXPECT_EQ(r.info.EndType, "moov");
    EXPECT_EQ(r.info.EndOffset, 1'000'000 + 100 + static_cast<std::int64_t>(moov.size()));
    EXPECT_EQ(r.info.StszOffset, 1'000'000 + 100 + FindAtom(bytes, "stsz"));
    EXPECT_EQ(r.info.StcoOffset, 1'000'000 + 100 + FindAtom(bytes, "stco"));
    EXPECT_EQ(r.p, 100 + FindAtom(bytes, "CNMN"));  // stopped at CNMN, the ftyp untouched
}

TEST(AtomWalk, FtypAfterHeaderWithoutCnmnBecomesTheEnd) {
    const Bytes moov = Movie(Concat({Track(scantest::Stco({1, 2, 3})), Udta(false)}));
    const Bytes ftyp = Atom("ftyp", Bytes(24, 0));
    const auto r = Walk(Concat({moov, ftyp, Atom("mdat")}));
    EXPECT_EQ(r.outcome, WalkOutcome::End);
    EXPECT_EQ(r.info.EndType, "ftyp");
    EXPECT_EQ(r.info.EndOffset, static_cast<std::int64_t>(moov.size() + ftyp.size()));
}

TEST(AtomWalk, UnknownAtomBeforeTheTracksEndsAtTheMovieEnd) {
    const Bytes moov = Movie(Concat({Atom("free", Bytes(8, 0)), Track(scantest::Stco({1}))}));
    const auto r = Walk(moov);
    EXPECT_EQ(r.outcome, WalkOutcome::End);
    EXPECT_EQ(r.info.EndType, "moov");
    EXPECT_EQ(r.info.EndOffset, static_cast<std::int64_t>(moov.size()));
    EXPECT_EQ(r.info.StszOffset, 0);
    EXPECT_EQ(r.info.StcoOffset, 0);
}

TEST(AtomWalk, TwoTracksGiveTheFirstTracksTables) {
    const Bytes moov = Movie(Concat({Track(scantest::Stco({1, 2, 3})), Track(Co64()), Udta(true)}));
    const auto r = Walk(moov);
    EXPECT_EQ(r.info.StszOffset, FindAtom(moov, "stsz"));
    EXPECT_EQ(r.info.StcoOffset, FindAtom(moov, "stco"));
    EXPECT_LT(r.info.StcoOffset, FindAtom(moov, "co64"));
}

TEST(AtomWalk, LargeFileOnlyRejectsAnyStcoButKeepsCo64Headers) {
    const Bytes mixed = Movie(Concat({Track(Co64()), Track(scantest::Stco({1})), Udta(true)}));
    const auto rejected = Walk(mixed, 0, true);
    EXPECT_EQ(rejected.outcome, WalkOutcome::End);
    EXPECT_EQ(rejected.info.EndType, "");
    EXPECT_EQ(rejected.info.StcoOffset, FindAtom(mixed, "co64"));

    const Bytes large = Movie(Concat({Track(Co64()), Track(Co64()), Udta(true)}));
    const auto kept = Walk(large, 0, true);
    EXPECT_EQ(kept.info.EndType, "moov");
    EXPECT_EQ(kept.info.StcoOffset, FindAtom(large, "co64"));

    // Without the option a stco header is an ordinary candidate.
    EXPECT_EQ(Walk(mixed, 0, false).info.EndType, "moov");
}

TEST(AtomWalk, SizesBelowEightEndTheWalkInsteadOfLooping) {
    for (std::uint32_t size : {0u, 1u, 4u, 7u}) {
        const Bytes moov = Movie(Concat({Atom("stsd", {}, size), Track(scantest::Stco({1}))}));
        const auto r = Walk(moov);
        EXPECT_EQ(r.outcome, WalkOutcome::End) << size;
        EXPECT_EQ(r.info.EndType, "moov") << size;
        EXPECT_EQ(r.info.StszOffset, 0) << size;  // the walk stopped at the bad atom
    }
}

TEST(AtomWalk, HugeAtomMovesToALaterWindow) {
    const Bytes moov =
        Concat({Atom("moov", Leaf("mvhd"), 0xFFFFFF00u), Atom("stsd", {}, 0xF0000000u)});
    const auto r = Walk(moov, 40);
    EXPECT_EQ(r.outcome, WalkOutcome::NextWindow);
    EXPECT_EQ(r.p, 40 + 8 + 20 + 0xF0000000ll);
    EXPECT_EQ(r.info.EndOffset, 40 + 0xFFFFFF00ll);
}

TEST(AtomWalk, ZerosEndTheWalk) {
    const auto r = Walk(Bytes{}, 0);
    EXPECT_EQ(r.outcome, WalkOutcome::End);
    EXPECT_EQ(r.info.EndType, "HEAD");
}

// --- AnalyzeHeader on files ---

class AnalyzeHeaderTest : public ::testing::Test {
  protected:
    HeaderInfo Analyze(const scantest::Image& image, std::int64_t x, bool large_only = false,
                       std::int64_t range_end = -1) {
        image.save(path_);
        const TDiskInfo info = scantest::RawInfo(static_cast<std::int64_t>(image.bytes.size()));
        ScanGeometry g;
        g.raw = true;
        g.range_end = range_end < 0 ? info.EndSector : range_end;
        HeaderRequest request;
        request.header_start = x;
        request.large_file_only = large_only;
        const auto source = SourceReader::open(path_.string());
        EXPECT_TRUE(source.has_value());
        return AnalyzeHeader(*source, info, g, FreeSpaceRegion{}, request, reporter_);
    }

    test::TempDir dir_;
    std::filesystem::path path_ = dir_ / "image.bin";
    scantest::ScanRecorder reporter_;
};

TEST_F(AnalyzeHeaderTest, HeaderInTheLastEightBytesOfAStepIsReadFromTheOverhang) {
    const Bytes moov = Movie(Concat({Track(scantest::Stco({1, 2, 3})), Udta(true)}));
    for (std::int64_t x : {65536 - 8, 3 * 65536 - 8, 3 * 65536 - 1}) {
        scantest::Image image(6 * 65536, 0);
        image.put(x, moov);
        const HeaderInfo h = Analyze(image, x);
        EXPECT_EQ(h.EndType, "moov") << x;
        EXPECT_EQ(h.EndOffset, x + static_cast<std::int64_t>(moov.size())) << x;
        EXPECT_EQ(h.StszOffset, x + FindAtom(moov, "stsz")) << x;
        EXPECT_EQ(h.StcoOffset, x + FindAtom(moov, "stco")) << x;
    }
}

TEST_F(AnalyzeHeaderTest, SkippedStszOfSeveralMegabytesIsJumpedOver) {
    std::vector<std::uint32_t> sizes(1'500'000, 7);
    const Bytes stsz = scantest::Stsz(sizes);
    const Bytes stbl = Atom("stbl", Concat({Leaf("stsd"), stsz, scantest::Stco({5})}));
    const Bytes moov = Movie(Concat({Atom("trak", Atom("mdia", Atom("minf", stbl))), Udta(true)}));
    scantest::Image image(moov.size() + 3 * 65536, 0);
    const std::int64_t x = 70'000;
    image.put(x, moov);
    const HeaderInfo h = Analyze(image, x);
    EXPECT_EQ(h.EndType, "moov");
    EXPECT_EQ(h.EndOffset, x + static_cast<std::int64_t>(moov.size()));
    EXPECT_EQ(h.StszOffset, x + FindAtom(moov, "stsz"));
    EXPECT_EQ(h.StcoOffset, x + FindAtom(moov, "stco") - 0);
    EXPECT_GT(h.StcoOffset - h.StszOffset, 5'000'000);
}

TEST_F(AnalyzeHeaderTest, TruncatedImageEndsTheWalk) {
    const Bytes moov = Movie(Concat({Track(scantest::Stco({1, 2, 3})), Udta(true)}));
    scantest::Image image(4096, 0);
    const std::int64_t x = 4096 - 100;  // the movie atom runs past the end of the image
    image.put(x, Bytes(moov.begin(), moov.begin() + 100));
    image.bytes.resize(4096);
    const HeaderInfo h = Analyze(image, x);
    EXPECT_EQ(h.EndType, "moov");
    EXPECT_EQ(h.EndOffset, x + static_cast<std::int64_t>(moov.size()));
    EXPECT_EQ(h.StszOffset, 0);
}

TEST_F(AnalyzeHeaderTest, HeaderPastTheRangeEndIsNotWalked) {
    const Bytes moov = Movie(Concat({Track(scantest::Stco({1})), Udta(true)}));
    scantest::Image image(4 * 65536, 0);
    image.put(2 * 65536 + 10, moov);
    const HeaderInfo h = Analyze(image, 2 * 65536 + 10, false, 256);
    EXPECT_EQ(h, (HeaderInfo{"HEAD", 2 * 65536 + 10, 0, 0}));
}

}  // namespace
}  // namespace tav

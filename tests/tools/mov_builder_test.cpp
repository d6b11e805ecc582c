#include <gtest/gtest.h>

#include <set>
#include <string>

#include "cardgen/atom_reader.hpp"
#include "cardgen/frame_check.hpp"
#include "cardgen/mov_builder.hpp"
#include "common/byte_view.hpp"

namespace tav::cardgen {
namespace {

struct ScannerWalk {
    std::string end_type;
    std::uint64_t end_offset = 0;
    std::uint64_t stsz = 0, stco = 0;
    bool ended_at_cnmn = false;
};

// Walks a movie atom the way the scanner's header analysis does: a flat walk
// that descends into the listed containers, skips the listed leaves and stops
// at anything else (or after "CNMN").
ScannerWalk WalkLikeScanner(ByteView file, std::uint64_t start) {
    static const std::set<std::string> descend = {"moov", "trak", "mdia", "minf", "stbl", "udta"};
    static const std::set<std::string> skip = {
        "ftyp", "stsz", "stco", "co64", "CNMN", "mvhd", "tkhd", "tref", "tapt", "clip",
        "matt", "edts", "meta", "mdhd", "hdlr", "imap", "vmhd", "smhd", "dinf", "stsd",
        "stts", "stss", "stps", "ctts", "cslg", "stsc", "txas", "CNCV"};
    ScannerWalk r{"HEAD", start};
    std::uint64_t p = start;
    while (auto size = file.be32(p)) {
        if (!file.has(p + 4, 4)) break;
        const std::string type(reinterpret_cast<const char*>(file.data() + p + 4), 4);
        if (type == "moov" || type == "ftyp") r.end_type = type, r.end_offset = p + *size;
        if (type == "stsz" && r.stsz == 0) r.stsz = p;
        if ((type == "stco" || type == "co64") && r.stco == 0) r.stco = p;
        if (descend.count(type)) {
            p += 8;
        } else if (skip.count(type) && *size >= 8) {
            p += *size;
            if (type == "CNMN") return r.ended_at_cnmn = true, r;
        } else {
            break;
        }
    }
    return r;
}

std::string TextAt(const Bytes& b, std::size_t off, std::size_t n) {
    return std::string(reinterpret_cast<const char*>(b.data() + off), n);
}

TEST(MovBuilder, StartRegionHasCameraLayout) {
    const EncodedClip clip = SyntheticClip(12, 7);
    const MovFile f = BuildCameraMov({}, clip);
    const ByteView head(f.head);
    EXPECT_EQ(head.be32(0), 20u);
    EXPECT_EQ(TextAt(f.head, 4, 8), "ftypqt  ");
    EXPECT_EQ(head.be32(12), 0x20050300u);
    EXPECT_EQ(TextAt(f.head, 16, 4), "qt  ");
    EXPECT_EQ(TextAt(f.head, 24, 4), "mdat");
    EXPECT_EQ(20u + *head.be32(20), f.head.size()) << "mdat must end where the head ends";
    EXPECT_EQ(TextAt(f.head, 28, 4), "DATE");
    EXPECT_EQ(head.le16(32), 10u);
    EXPECT_EQ(TextAt(f.head, 36, 10), "2012:05:03");
    EXPECT_EQ(TextAt(f.head, 46, 4), "TIME");
    EXPECT_EQ(head.le16(50), 8u);
    EXPECT_EQ(TextAt(f.head, 54, 8), "14:22:10");
}

TEST(MovBuilder, Mdat64UsesExtendedSize) {
    MovOptions o;
    o.mdat64 = true;
    const MovFile f = BuildCameraMov(o, SyntheticClip(5, 1));
    const ByteView head(f.head);
    EXPECT_EQ(head.be32(20), 1u);
    EXPECT_EQ(TextAt(f.head, 24, 4), "mdat");
    EXPECT_EQ(20u + *head.be64(28), f.head.size());
    EXPECT_EQ(TextAt(f.head, 36, 4), "DATE");
}

TEST(MovBuilder, LongTagTextsAreCutBelowTwenty) {
    MovOptions o;
    o.date = std::string(40, '9');
    const MovFile f = BuildCameraMov(o, SyntheticClip(2, 1));
    EXPECT_EQ(ByteView(f.head).le16(32), 19u);
}

TEST(MovBuilder, FramesAreWhereTheTablesSay) {
    const EncodedClip clip = SyntheticClip(20, 3);
    const MovFile f = BuildCameraMov({}, clip);
    ASSERT_EQ(f.sample_sizes.size(), 20u);
    ASSERT_EQ(f.chunk_offsets.size(), 20u);
    for (std::size_t i = 0; i < clip.frames.size(); ++i) {
        ASSERT_EQ(f.sample_sizes[i], clip.frames[i].size());
        const Bytes at(f.head.begin() + static_cast<std::ptrdiff_t>(f.chunk_offsets[i]),
                       f.head.begin() + static_cast<std::ptrdiff_t>(f.chunk_offsets[i]) +
                           static_cast<std::ptrdiff_t>(f.sample_sizes[i]));
        EXPECT_EQ(at, clip.frames[i]) << "frame " << i;
    }
    EXPECT_EQ(f.chunk_offsets.back() + f.sample_sizes.back(), f.head.size());
    EXPECT_LT(f.chunk_offsets.front(), 512u + 512u);
}

void ExpectTablesMatch(const MovFile& f, bool co64) {
    const Bytes all = f.bytes();
    const ByteView file(all);
    const auto stsz = ReadAtomAt(file, static_cast<std::size_t>(f.stsz_offset));
    ASSERT_TRUE(stsz);
    EXPECT_EQ(stsz->type, "stsz");
    EXPECT_EQ(file.be32(stsz->body_offset() + 4), 0u) << "common sample size must be 0";
    ASSERT_EQ(file.be32(stsz->body_offset() + 8), f.sample_sizes.size());
    for (std::size_t i = 0; i < f.sample_sizes.size(); ++i)
        EXPECT_EQ(file.be32(stsz->body_offset() + 12 + 4 * i), f.sample_sizes[i]);
    const auto stco = ReadAtomAt(file, static_cast<std::size_t>(f.stco_offset));
    ASSERT_TRUE(stco);
    EXPECT_EQ(stco->type, co64 ? "co64" : "stco");
    ASSERT_EQ(file.be32(stco->body_offset() + 4), f.chunk_offsets.size());
    for (std::size_t i = 0; i < f.chunk_offsets.size(); ++i) {
        const std::size_t at = stco->body_offset() + 8 + (co64 ? 8 : 4) * i;
        const std::uint64_t v = co64 ? *file.be64(at) : *file.be32(at);
        EXPECT_EQ(v, f.chunk_offsets[i]);
    }
}

TEST(MovBuilder, SampleTablesMatchTheFrames) {
    for (bool co64 : {false, true}) {
        MovOptions o;
        o.co64 = co64;
        ExpectTablesMatch(BuildCameraMov(o, SyntheticClip(9, 4)), co64);
    }
}

TEST(MovBuilder, MovieAtomHasTheCameraTree) {
    const MovFile f = BuildCameraMov({}, SyntheticClip(6, 2));
    const ByteView moov(f.moov);
    const auto top = ReadAtomAt(moov, 0);
    ASSERT_TRUE(top);
    EXPECT_EQ(top->type, "moov");
    EXPECT_EQ(top->size, f.moov.size());
    const auto kids = Children(moov, *top);
    ASSERT_EQ(kids.size(), 3u);
    EXPECT_EQ(kids[0].type, "mvhd");
    EXPECT_EQ(kids[0].size, 108u);
    EXPECT_EQ(kids[1].type, "trak");
    EXPECT_EQ(kids[2].type, "udta");
    const auto udta = Children(moov, kids[2]);
    ASSERT_EQ(udta.size(), 2u);
    EXPECT_EQ(udta[0].type, "CNCV");
    EXPECT_EQ(udta[1].type, "CNMN");
    const auto stbl = FindPath(moov, "moov/trak/mdia/minf/stbl");
    ASSERT_TRUE(stbl);
    std::string order;
    for (const Atom& a : Children(moov, *stbl)) order += a.type + " ";
    EXPECT_EQ(order, "stsd stts stss stsc stsz stco ");
    const auto stsc = FindPath(moov, "moov/trak/mdia/minf/stbl/stsc");
    ASSERT_TRUE(stsc);
    EXPECT_EQ(moov.be32(stsc->body_offset() + 4), 1u);
    EXPECT_EQ(moov.be32(stsc->body_offset() + 12), 1u) << "one sample per chunk";
    EXPECT_TRUE(FindPath(moov, "moov/trak/mdia/minf/stbl/stsd/avc1"));
}

TEST(MovBuilder, ScannerWalkEndsAtCnmnAndFindsVideoTables) {
    for (bool sound : {false, true}) {
        MovOptions o;
        o.sound_track = sound;
        const MovFile f = BuildCameraMov(o, SyntheticClip(8, 5));
        const Bytes all = f.bytes();
        const ScannerWalk w =
            WalkLikeScanner(ByteView(all), static_cast<std::uint64_t>(f.moov_offset()));
        EXPECT_TRUE(w.ended_at_cnmn) << "sound " << sound;
        EXPECT_EQ(w.end_type, "moov");
        EXPECT_EQ(w.end_offset, all.size());
        EXPECT_EQ(w.stsz, static_cast<std::uint64_t>(f.stsz_offset));
        EXPECT_EQ(w.stco, static_cast<std::uint64_t>(f.stco_offset));
    }
}

TEST(MovBuilder, WithoutCnmnTheWalkRunsOnToTheNextAtom) {
    MovOptions o;
    o.cnmn = false;
    const MovFile f = BuildCameraMov(o, SyntheticClip(4, 5));
    Bytes all = f.bytes();
    all.insert(all.end(), 16, 0);  // what follows is no atom
    const ScannerWalk w =
        WalkLikeScanner(ByteView(all), static_cast<std::uint64_t>(f.moov_offset()));
    EXPECT_FALSE(w.ended_at_cnmn);
    EXPECT_EQ(w.end_offset, static_cast<std::uint64_t>(f.size()));
}

TEST(MovBuilder, SoundTrackKeepsVideoLastInTheMediaData) {
    MovOptions o;
    o.sound_track = true;
    const MovFile f = BuildCameraMov(o, SyntheticClip(5, 6));
    const ByteView moov(f.moov);
    const auto top = ReadAtomAt(moov, 0);
    ASSERT_TRUE(top);
    const auto kids = Children(moov, *top);
    ASSERT_EQ(kids.size(), 4u);
    EXPECT_EQ(kids[2].type, "trak");
    EXPECT_EQ(f.chunk_offsets.back() + f.sample_sizes.back(), f.head.size());
    EXPECT_LT(f.stco_offset, f.moov_offset() + static_cast<std::int64_t>(kids[2].offset));
}

TEST(MovBuilder, LastFrameCheckPassesOnlyWithDelimiters) {
    for (bool aud : {true, false}) {
        const MovFile f = BuildCameraMov({}, SyntheticClip(10, 11, aud));
        const Bytes all = f.bytes();
        EXPECT_EQ(LastFrameVerifies(ByteView(all), f.chunk_offsets.back(), f.sample_sizes.back()),
                  aud);
    }
}

TEST(MovBuilder, SameSeedSameBytes) {
    EXPECT_EQ(BuildCameraMov({}, SyntheticClip(7, 42)).bytes(),
              BuildCameraMov({}, SyntheticClip(7, 42)).bytes());
    EXPECT_NE(SyntheticClip(7, 42).frames, SyntheticClip(7, 43).frames);
}

TEST(MovBuilder, OnlyTheFirstFrameIsSync) {
    const MovFile f = BuildCameraMov({}, SyntheticClip(5, 9));
    const auto stss = FindPath(ByteView(f.moov), "moov/trak/mdia/minf/stbl/stss");
    ASSERT_TRUE(stss);
    const ByteView moov(f.moov);
    EXPECT_EQ(moov.be32(stss->body_offset() + 4), 1u);
    EXPECT_EQ(moov.be32(stss->body_offset() + 8), 1u);
}

}  // namespace
}  // namespace tav::cardgen

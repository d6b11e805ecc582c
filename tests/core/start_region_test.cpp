// The start of any camera's file: the ftyp judged by its structure, the atoms
// walked to the mdat (sizes 0, 1 and ordinary), a movie atom written first,
// and one field corrupted at a time.

#include <gtest/gtest.h>

#include "common/byte_order.hpp"
#include "scan/movie_date.hpp"
#include "scan/start_region.hpp"
#include "scan_test_support.hpp"

namespace tav {
namespace {

using scantest::Atom;
using scantest::Be32;
using scantest::Bytes;
using scantest::Concat;

Bytes Text(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

Bytes Ftyp(std::string_view major, std::initializer_list<std::string_view> compatible) {
    Bytes p = Text(major);
    scantest::Append(p, Be32(0x200));
    for (auto c : compatible) scantest::Append(p, Text(c));
    return Atom("ftyp", p);
}

Bytes Mdat64(std::uint64_t size) {
    Bytes b = Concat({Be32(1), Text("mdat"), Bytes(8)});
    store_be64(b.data() + 8, size);
    return b;
}

TEST(StartRegion, AtomsWalkedToTheMediaData) {
    const Bytes ftyp = Ftyp("isom", {"isom", "iso2", "avc1", "mp41"});
    const std::uint64_t f = ftyp.size();
    const Bytes big_free = Atom("free", Bytes(40000));
    struct Case {
        const char* what;
        Bytes bytes;
        std::uint64_t mdat_at;
        std::optional<std::uint64_t> end;
        bool size64;
        std::optional<std::uint64_t> moov_at;
    };
    const Bytes moov = Atom("moov", Atom("mvhd", Bytes(100)));
    const Case cases[] = {
        {"mdat right after", Concat({ftyp, Atom("mdat", {}, 5000)}), f, f + 5000, false, {}},
        {"free and wide first",
         Concat({ftyp, Atom("free"), Atom("wide"), Atom("mdat", {}, 100)}),
         f + 16,
         f + 116,
         false,
         {}},
        {"a large free atom puts the mdat past the first sector",
         Concat({ftyp, big_free, Atom("mdat", {}, 9)}),
         f + big_free.size(),
         f + big_free.size() + 9,
         false,
         {}},
        {"uuid of a maker",
         Concat({ftyp, Atom("uuid", Bytes(24)), Atom("mdat", {}, 64)}),
         f + 32,
         f + 96,
         false,
         {}},
        {"size 1: 64 bits",
         Concat({ftyp, Mdat64(0x1'0000'0010ull)}),
         f,
         f + 0x1'0000'0010ull,
         true,
         {}},
        {"size 0: to the end", Concat({ftyp, Atom("mdat", {}, 0)}), f, std::nullopt, false, {}},
        {"movie atom first", Concat({ftyp, Atom("free"), moov, Atom("mdat", {}, 300)}),
         f + 8 + moov.size(), f + 8 + moov.size() + 300, false, f + 8},
        {"room of 1 MiB reserved for the header",
         Concat({ftyp, Atom("free", Bytes((1u << 20) - 8)), Atom("mdat", {}, 300)}),
         f + (1u << 20),
         f + (1u << 20) + 300,
         false,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto r = ParseStartRegion(ByteView(c.bytes));
        ASSERT_TRUE(r);
        EXPECT_EQ(r->brand, "isom");
        EXPECT_EQ(r->mdat_at, c.mdat_at);
        EXPECT_EQ(r->mdat_payload, c.mdat_at + (c.size64 ? 16 : 8));
        EXPECT_EQ(r->mdat_end, c.end);
        EXPECT_EQ(r->mdat_size_64, c.size64);
        EXPECT_EQ(r->moov_at, c.moov_at);
    }
}

// The bytes beyond those at hand are read as the walk needs them: a movie
// atom first of several MiB puts the mdat far on.
TEST(StartRegion, HeadersBeyondTheBufferAreRead) {
    const Bytes ftyp = Ftyp("qt  ", {"qt  "});
    const std::uint32_t moov_size = 3u << 20;
    Bytes file = Concat({ftyp, Atom("moov", Atom("mvhd", Bytes(100)), moov_size)});
    file.resize(ftyp.size() + moov_size);
    scantest::Append(file, Atom("mdat", Bytes(769)));
    const auto more = [&](std::uint64_t at, std::span<std::uint8_t> buf) {
        if (at + buf.size() > file.size()) return false;
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(at), buf.size(), buf.begin());
        return true;
    };
    const auto r = ParseStartRegion(ByteView(file).sub(0, 4096), more);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->mdat_at, ftyp.size() + moov_size);
    EXPECT_EQ(r->mdat_end, ftyp.size() + moov_size + 777);
    EXPECT_EQ(ParseStartRegion(ByteView(file).sub(0, 4096)).error(),  // nothing to read on
              StartProblem::NoMdat);
}

TEST(StartRegion, OneFieldCorruptedAtATime) {
    const Bytes good = Concat({Ftyp("mp42", {"mp42", "isom"}), Atom("free"), Atom("mdat", {}, 64)});
    ASSERT_TRUE(ParseStartRegion(ByteView(good)));
    using P = StartProblem;
    const struct {
        const char* what;
        std::size_t at;
        std::vector<std::uint8_t> bytes;
        StartProblem problem;
    } cases[] = {
        {"no ftyp", 5, {'T'}, P::NoFtyp},
        {"ftyp size not a multiple of 4", 3, {26}, P::BadFtyp},
        {"ftyp size below 16", 3, {12}, P::BadFtyp},
        {"ftyp size of 1 KiB", 2, {4}, P::BadFtyp},
        {"major brand unprintable", 9, {0x01}, P::BadFtyp},
        {"major brand starting blank", 8, {' '}, P::BadFtyp},
        {"compatible brand unprintable", 17, {0xFF}, P::BadFtyp},
        {"atom type unprintable", 24 + 4, {0x00}, P::NoMdat},
        {"atom size below its header", 24 + 3, {4}, P::NoMdat},
        {"atom past the walk", 24 + 1, {0x10}, P::NoMdat},
        {"mdat size below its header", 32 + 3, {3}, P::BadMdat},
        {"a second ftyp before any mdat", 28, {'f', 't', 'y', 'p'}, P::NoMdat},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes bad = good;
        std::copy(c.bytes.begin(), c.bytes.end(), bad.begin() + static_cast<std::ptrdiff_t>(c.at));
        const auto r = ParseStartRegion(ByteView(bad));
        ASSERT_FALSE(r.has_value());
        EXPECT_EQ(r.error(), c.problem);
    }
    // Zero compatible entries are left unused by some writers.
    Bytes zeros = good;
    std::fill_n(zeros.begin() + 20, 4, 0);
    EXPECT_TRUE(ParseStartRegion(ByteView(zeros)));
}

TEST(StartRegion, ExtensionFollowsTheBrand) {
    for (const auto& [brand, ext] : {std::pair{"qt  ", ".mov"},
                                     {"isom", ".mp4"},
                                     {"mp42", ".mp4"},
                                     {"M4V ", ".m4v"},
                                     {"3gp5", ".3gp"},
                                     {"XAVC", ".mp4"}})
        EXPECT_EQ(ExtensionForBrand(brand), ext) << brand;
}

// The date the movie header gives, in the tags' form: a metadata item or a
// ©day text wins with its own clock time, else the creation time in UTC.
Bytes Mvhd(std::uint8_t version, std::uint64_t created) {
    Bytes p(version == 1 ? 112 : 100);
    p[0] = version;
    if (version == 1)
        store_be64(p.data() + 4, created);
    else
        store_be32(p.data() + 4, static_cast<std::uint32_t>(created));
    return Atom("mvhd", p);
}

Bytes Day(std::string_view text) {
    Bytes p = {0, static_cast<std::uint8_t>(text.size()), 0x15, 0xC7};
    scantest::Append(p, Text(text));
    return Atom(
        "\xA9"
        "day",
        p);
}

Bytes CreationItem(std::string_view text) {
    const Bytes key =
        Concat({Be32(8 + 32), Text("mdta"), Text("com.apple.quicktime.creationdate")});
    const Bytes keys =
        Atom("keys", Concat({Be32(0), Be32(2), Atom("mdta", Text("other.key")), key}));
    const Bytes data = Atom("data", Concat({Be32(1), Be32(0), Text(text)}));
    const Bytes ilst = Atom("ilst", Concat({Atom(std::string_view("\0\0\0\2", 4), data)}));
    return Atom("meta", Concat({Atom("hdlr", Bytes(25)), keys, ilst}));
}

TEST(MovieDate, FromMetadataDayTextOrCreationTime) {
    const std::uint64_t may_2012 = 3418899730;  // 2012-05-03 14:22:10 UTC
    const struct {
        const char* what;
        Bytes moov;
        std::optional<std::string> date;
    } cases[] = {
        {"creation time", Atom("moov", Mvhd(0, may_2012)), "2012:05:03 14:22:10"},
        {"64-bit creation time", Atom("moov", Mvhd(1, may_2012)), "2012:05:03 14:22:10"},
        {"no time known", Atom("moov", Mvhd(0, 0)), std::nullopt},
        {"day text with its offset",
         Atom("moov", Concat({Mvhd(0, may_2012), Atom("udta", Day("2019-07-21T09:15:02+0800"))})),
         "2019:07:21 09:15:02"},
        {"metadata item first",
         Atom("moov", Concat({Mvhd(0, may_2012), Atom("udta", Day("2019-07-21T09:15:02+0800")),
                              CreationItem("2020-01-02T03:04:05-0500")})),
         "2020:01:02 03:04:05"},
        {"metadata item in the user data, as some muxers write it",
         Atom("moov",
              Concat({Mvhd(0, may_2012), Atom("udta", CreationItem("2022-05-06T07:08:09+0800"))})),
         "2022:05:06 07:08:09"},
        {"a day text that is only a year",
         Atom("moov", Concat({Mvhd(0, may_2012), Atom("udta", Day("2019"))})),
         "2012:05:03 14:22:10"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(MovieDate(ByteView(c.moov)), c.date);
    }
    EXPECT_EQ(DateFrom1904(0), "1904:01:01 00:00:00");
    EXPECT_EQ(DateFrom1904(3034713599), "2000:02:29 23:59:59");
    EXPECT_EQ(DateFrom1904(6190387200), "2100:03:01 00:00:00");
}

}  // namespace
}  // namespace tav

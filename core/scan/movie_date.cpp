#include "scan/movie_date.hpp"

#include <cstdio>
#include <vector>

#include "scan/atom_tree.hpp"

namespace tav {

namespace {

constexpr std::string_view kCreationKey = "com.apple.quicktime.creationdate";
constexpr std::uint64_t kMostSeconds = 400ull * 366 * 86400;  // dates past 2300 are no clock's

std::string_view Text(ByteView b) {
    return {reinterpret_cast<const char*>(b.data()), b.size()};
}

// The text of an item's "data" atom: type, locale, then the text.
std::optional<std::string_view> DataText(ByteView item) {
    const Atom data = Child(item, "data");
    if (!data.found || !data.body.has(0, 8)) return std::nullopt;
    return Text(data.body.sub(8));
}

// A "meta" body: QuickTime's holds atoms directly, the ISO form has a
// version and flags before them.
ByteView MetaChildren(ByteView meta) {
    if (meta.matches(4, "hdlr") || meta.matches(4, "keys") || meta.matches(4, "ilst")) return meta;
    return meta.sub(4);
}

std::optional<std::string> CreationItemIn(const Atom& meta) {
    if (!meta.found) return std::nullopt;
    const ByteView children = MetaChildren(meta.body);
    const Atom keys = Child(children, "keys");
    const Atom ilst = Child(children, "ilst");
    if (!keys.found || !ilst.found) return std::nullopt;
    // keys: version and flags, count, then (size, namespace, name) entries.
    std::optional<std::uint32_t> index;
    const std::uint32_t count = keys.body.be32(4).value_or(0);
    std::size_t at = 8;
    for (std::uint32_t k = 1; k <= count && keys.body.has(at, 8); ++k) {
        const std::uint32_t size = keys.body.be32(at).value_or(0);
        if (size < 8 || !keys.body.has(at, size)) break;
        if (Text(keys.body.sub(at + 8, size - 8)) == kCreationKey) index = k;
        at += size;
    }
    if (!index) return std::nullopt;
    // ilst: one atom per item, its type the key's 1-based index.
    for (at = 0; ilst.body.has(at, 8);) {
        const std::uint32_t size = ilst.body.be32(at).value_or(0);
        if (size < 8 || !ilst.body.has(at, size)) break;
        if (ilst.body.be32(at + 4) == index)
            if (const auto text = DataText(ilst.body.sub(at + 8, size - 8)))
                if (auto date = DateFromText(*text)) return date;
        at += size;
    }
    return std::nullopt;
}

// The movie's own metadata, or (as some muxers write it) the user data's.
std::optional<std::string> CreationItem(ByteView moov_body) {
    if (auto date = CreationItemIn(Child(moov_body, "meta"))) return date;
    return CreationItemIn(Path(moov_body, {"udta", "meta"}));
}

std::optional<std::string> DayText(ByteView moov_body) {
    const Atom udta = Child(moov_body, "udta");
    if (!udta.found) return std::nullopt;
    // QuickTime's text: length, language, the text.
    if (const Atom day = Child(udta.body,
                               "\xA9"
                               "day");
        day.found) {
        const std::uint16_t length = day.body.be16(0).value_or(0);
        if (day.body.has(4, length))
            if (auto date = DateFromText(Text(day.body.sub(4, length)))) return date;
    }
    // The ISO form: udta/meta/ilst/©day/data.
    const Atom meta = Child(udta.body, "meta");
    if (!meta.found) return std::nullopt;
    const Atom day = Path(MetaChildren(meta.body), {"ilst",
                                                    "\xA9"
                                                    "day"});
    if (!day.found) return std::nullopt;
    const auto text = DataText(day.body);
    return text ? DateFromText(*text) : std::nullopt;
}

std::optional<std::string> HeaderTime(ByteView moov_body) {
    const Atom mvhd = Child(moov_body, "mvhd");
    const auto version = mvhd.body.u8(0);
    if (!version) return std::nullopt;
    const std::optional<std::uint64_t> seconds =
        *version == 1
            ? mvhd.body.be64(4)
            : (mvhd.body.be32(4) ? std::optional<std::uint64_t>(*mvhd.body.be32(4)) : std::nullopt);
    // Writers that know no time leave it 0.
    if (!seconds || *seconds == 0 || *seconds > kMostSeconds) return std::nullopt;
    return DateFrom1904(*seconds);
}

bool Digits(std::string_view s, std::size_t at, std::size_t n, int& value) {
    if (at + n > s.size()) return false;
    value = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

std::string Format(int y, int mo, int d, int h, int mi, int s) {
    char out[32];
    std::snprintf(out, sizeof out, "%04d:%02d:%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
    return out;
}

}  // namespace

std::optional<std::string> DateFromText(std::string_view t) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!Digits(t, 0, 4, y) || t.size() < 16 || t[4] != '-' || !Digits(t, 5, 2, mo) ||
        t[7] != '-' || !Digits(t, 8, 2, d) || (t[10] != 'T' && t[10] != ' ') ||
        !Digits(t, 11, 2, h) || t[13] != ':' || !Digits(t, 14, 2, mi))
        return std::nullopt;
    if (t.size() >= 19 && t[16] == ':' && !Digits(t, 17, 2, s)) return std::nullopt;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) return std::nullopt;
    return Format(y, mo, d, h, mi, s);
}

std::string DateFrom1904(std::uint64_t seconds) {
    // Days since 1904-01-01 turned into a civil date (the proleptic
    // Gregorian calendar, counted in eras of 400 years from 0000-03-01).
    const auto days = static_cast<std::int64_t>(seconds / 86400);
    const auto rest = static_cast<int>(seconds % 86400);
    const std::int64_t z = days + 695361;  // 1904-01-01 in days from 0000-03-01
    const std::int64_t era = z / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const auto d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const auto m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const auto y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
    return Format(y, m, d, rest / 3600, rest / 60 % 60, rest % 60);
}

std::optional<std::string> MovieDate(ByteView moov) {
    if (!moov.matches(4, "moov")) return std::nullopt;
    const std::uint32_t size = moov.be32(0).value_or(0);
    if (size < 8 || size > moov.size()) return std::nullopt;
    const ByteView body = moov.sub(8, size - 8);
    if (auto date = CreationItem(body)) return date;
    if (auto date = DayText(body)) return date;
    return HeaderTime(body);
}

}  // namespace tav

#include "scan/start_region.hpp"

#include <array>

namespace tav {

namespace {

constexpr std::uint32_t kLeastFtyp = 16;
constexpr std::uint32_t kMostFtyp = 512;
// Atoms walked before the mdat; files carry a handful.
constexpr int kMostAtoms = 32;
// A movie atom written first may be large; beyond this it is no header.
constexpr std::uint64_t kMostMovieBytes = 64ull << 20;

bool Printable(std::uint8_t c) {
    return c >= 0x20 && c < 0x7F;
}

bool PrintableType(ByteView b, std::size_t at) {
    if (!b.has(at, 4)) return false;
    for (std::size_t i = 0; i < 4; ++i)
        if (!Printable(b.data()[at + i])) return false;
    return true;
}

// A brand is four printable characters; writers leave unused compatible
// entries zero.
bool Brand(ByteView b, std::size_t at, bool may_be_zero) {
    if (may_be_zero && b.be32(at) == std::optional<std::uint32_t>(0)) return true;
    return PrintableType(b, at) && b.data()[at] != ' ';
}

struct AtomHeader {
    std::array<std::uint8_t, 16> bytes{};
    std::size_t known = 0;  // bytes that are the file's; the rest stay zero
    ByteView view() const { return ByteView(bytes.data(), known); }
};

// The 8 header bytes at at, and the 8 after them where the file has them
// (an extended size).
std::optional<AtomHeader> HeaderAt(ByteView first, const StartBytesAt& more, std::uint64_t at) {
    AtomHeader h;
    if (at < first.size()) {
        const ByteView from = first.sub(static_cast<std::size_t>(at), h.bytes.size());
        std::copy(from.data(), from.data() + from.size(), h.bytes.begin());
        h.known = from.size();
    }
    if (h.known < h.bytes.size() && more && more(at, h.bytes)) h.known = h.bytes.size();
    if (h.known < 8) return std::nullopt;
    return h;
}

}  // namespace

bool IsPlausibleFtyp(ByteView s) {
    if (!s.matches(4, "ftyp")) return false;
    const std::uint32_t size = s.be32(0).value_or(0);
    if (size < kLeastFtyp || size > kMostFtyp || size % 4 != 0 || !s.has(0, size)) return false;
    if (!Brand(s, 8, false)) return false;
    for (std::size_t at = 16; at < size; at += 4)
        if (!Brand(s, at, true)) return false;
    return true;
}

std::expected<StartRegion, StartProblem> ParseStartRegion(ByteView first,
                                                          const StartBytesAt& more) {
    const auto fail = [](StartProblem p) { return std::unexpected(p); };
    if (!first.matches(4, "ftyp")) return fail(StartProblem::NoFtyp);
    if (!IsPlausibleFtyp(first)) return fail(StartProblem::BadFtyp);
    StartRegion r;
    r.brand.assign(reinterpret_cast<const char*>(first.data() + 8), 4);
    std::uint64_t at = first.be32(0).value_or(0);
    // Space a writer reserved for its header ("free", "skip") may be large.
    bool reserved = false;
    for (int n = 0; n < kMostAtoms; ++n) {
        // The mdat comes early, or after the file's own header or the room
        // reserved for it.
        if (at > kStartWalkBytes && !r.moov_at && !reserved) return fail(StartProblem::NoMdat);
        const auto header = HeaderAt(first, more, at);
        if (!header) return fail(StartProblem::NoMdat);
        const ByteView h = header->view();
        if (!PrintableType(h, 4)) return fail(StartProblem::NoMdat);
        const std::uint32_t size32 = h.be32(0).value_or(0);
        std::uint64_t size = size32;
        std::uint64_t header_bytes = 8;
        if (size32 == 1) {
            size = h.be64(8).value_or(0);
            header_bytes = 16;
        }
        const bool mdat = h.matches(4, "mdat");
        if (mdat) {
            r.mdat_at = at;
            r.mdat_payload = at + header_bytes;
            r.mdat_size_64 = size32 == 1;
            if (size32 == 0) return r;  // runs to the end of the file
            if (size < header_bytes || size > UINT64_MAX / 4) return fail(StartProblem::BadMdat);
            r.mdat_end = at + size;
            return r;
        }
        if (size < header_bytes) return fail(StartProblem::NoMdat);
        const bool room = h.matches(4, "free") || h.matches(4, "skip");
        if (h.matches(4, "moov")) {
            if (r.moov_at || size > kMostMovieBytes) return fail(StartProblem::NoMdat);
            r.moov_at = at;
            r.moov_size = size;
        } else if (room && size > kStartWalkBytes && size <= kMostMovieBytes) {
            reserved = true;
        } else if (size > kStartWalkBytes) {
            return fail(StartProblem::NoMdat);  // nothing but media and movie atoms is that large
        } else if (h.matches(4, "ftyp")) {
            return fail(StartProblem::NoMdat);  // a second file's start
        }
        at += size;
    }
    return fail(StartProblem::NoMdat);
}

std::string ExtensionForBrand(std::string_view brand) {
    if (brand == "qt  ") return ".mov";
    if (brand == "M4V " || brand == "M4VH" || brand == "M4VP") return ".m4v";
    if (brand.starts_with("3g")) return ".3gp";
    return ".mp4";
}

}  // namespace tav

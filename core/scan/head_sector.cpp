#include "scan/head_sector.hpp"

#include <limits>

#include "scan/scan_geometry.hpp"

namespace tav {

namespace {

constexpr std::uint16_t kTagLengthLimit = 20;

// Size of the mdat atom whose tag lies at k: the 32-bit field before it, or
// the 64-bit size after it when that field is 1.
std::optional<std::int64_t> OwnLength(ByteView s, std::size_t k, bool& size_64) {
    const auto size32 = s.be32(k - 4);
    if (!size32) return std::nullopt;
    std::uint64_t size = *size32;
    size_64 = *size32 == 1;
    if (size_64) {
        const auto size64 = s.be64(k + 4);
        if (!size64) return std::nullopt;
        size = *size64;
    }
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (size > kMax - k) return std::nullopt;
    return static_cast<std::int64_t>(k - 4 + size);
}

}  // namespace

bool IsHeadSectorStart(ByteView from_sector) {
    const ByteView s = from_sector;
    return s.matches(4, "ftyp") && s.matches(8, "qt  ");
}

std::string TagText(ByteView bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::uint8_t c = bytes.data()[i];
        if (c == 0) break;
        const bool plain = c >= 0x20 && c < 0x7F && c != '/' && c != '\\';
        text.push_back(plain ? static_cast<char>(c) : '_');
    }
    return text;
}

std::optional<HeadSector> ParseHeadSector(ByteView from_sector) {
    const ByteView s = from_sector;
    HeadSector head;
    bool found = false;
    std::optional<std::size_t> mdat_at;
    for (std::size_t k = 0; k < static_cast<std::size_t>(kSectorBytes) && s.has(k, 4); ++k) {
        // A tag in the first four bytes would have its size field before the
        // sector; it is not an mdat header of this sector.
        if (s.matches(k, "mdat")) {
            if (k >= 4) mdat_at = k;
            continue;
        }
        const bool is_date = s.matches(k, "DATE");
        const bool is_time = !is_date && s.matches(k, "TIME");
        if (!is_date && !is_time) continue;
        const auto n = s.le16(k + 4);
        if (!n || *n >= kTagLengthLimit) continue;
        std::string text = TagText(s.sub(k + 8, *n));
        found = true;
        if (is_date) {
            head.date = std::move(text);
        } else {
            head.time = std::move(text);
            break;
        }
    }
    if (!found) return std::nullopt;
    if (mdat_at) head.own_length = OwnLength(s, *mdat_at, head.mdat_size_64);
    return head;
}

}  // namespace tav

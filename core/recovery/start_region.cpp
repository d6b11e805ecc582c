#include "recovery/start_region.hpp"

#include <algorithm>
#include <array>
#include <optional>

#include "common/byte_order.hpp"

namespace tav {

namespace {

constexpr std::uint32_t kMostFtypBytes = 4096;

struct AtomHead {
    std::uint64_t size = 0;  // 0: to the end of the file
    std::uint64_t header = 8;
    std::array<std::uint8_t, 4> type{};
    bool is(const char* t) const { return std::equal(type.begin(), type.end(), t); }
};

// Overwritten bytes seldom give four printable characters.
bool PrintableType(const std::array<std::uint8_t, 4>& type) {
    return std::all_of(type.begin(), type.end(),
                       [](std::uint8_t c) { return c >= 0x20 && c <= 0x7E; });
}

std::optional<AtomHead> ReadAtomHead(const MediaBytes& region, std::uint64_t at) {
    std::array<std::uint8_t, 16> b{};
    if (!region.read(at, std::span(b.data(), 8))) return std::nullopt;
    AtomHead h;
    h.size = load_be32(b.data());
    std::copy_n(b.data() + 4, 4, h.type.begin());
    if (!PrintableType(h.type)) return std::nullopt;
    if (h.size == 1) {
        if (!region.read(at + 8, std::span(b.data() + 8, 8))) return std::nullopt;
        h.size = load_be64(b.data() + 8);
        h.header = 16;
    }
    return h;
}

}  // namespace

std::expected<MediaData, std::string> FindMediaData(const MediaBytes& region) {
    const auto ftyp = ReadAtomHead(region, 0);
    if (!ftyp || !ftyp->is("ftyp")) return std::unexpected(std::string("开头不是ftyp"));
    if (ftyp->header != 8 || ftyp->size < 8 || ftyp->size > kMostFtypBytes)
        return std::unexpected(std::string("ftyp的长度无效"));
    const std::uint64_t last = ftyp->size + kMostLeadingAtomBytes;
    for (std::uint64_t at = ftyp->size; at <= last;) {
        const auto atom = ReadAtomHead(region, at);
        if (!atom) break;
        if (atom->is("mdat")) {
            MediaData m{at, at + atom->header, 0, atom->header == 16,
                        atom->size == 0 && atom->header == 8};
            if (m.to_end) {
                // The rebuilt file ends its media data with a 32-bit size.
                m.end = at + 0xFFFFFFFFull;
                return m;
            }
            if (atom->size < atom->header || atom->size > UINT64_MAX / 2)
                return std::unexpected(std::string("mdat的长度无效"));
            m.end = at + atom->size;
            return m;
        }
        // Only the mdat may run to the end of the file.
        if (atom->size < atom->header || atom->size > last - at) break;
        at += atom->size;
    }
    return std::unexpected(std::string("ftyp后面不是mdat"));
}

ByteString MdatSizeField(const MediaData& m, std::uint64_t end) {
    ByteString field(m.wide ? 8 : 4);
    if (m.wide)
        store_be64(field.data(), end - m.mdat_at);
    else
        store_be32(field.data(), static_cast<std::uint32_t>(end - m.mdat_at));
    return field;
}

}  // namespace tav

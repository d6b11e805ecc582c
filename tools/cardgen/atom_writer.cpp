#include "cardgen/atom_writer.hpp"

#include "common/byte_order.hpp"

namespace tav::cardgen {

std::size_t AtomWriter::begin(std::string_view type) {
    const std::size_t start = out_.size();
    be32(0);
    text(type.substr(0, 4));
    return start;
}

void AtomWriter::end(std::size_t start) {
    store_be32(out_.data() + start, static_cast<std::uint32_t>(out_.size() - start));
}

std::size_t AtomWriter::begin_full(std::string_view type, std::uint8_t version,
                                   std::uint32_t flags) {
    const std::size_t start = begin(type);
    be32((static_cast<std::uint32_t>(version) << 24) | (flags & 0xFFFFFFu));
    return start;
}

void AtomWriter::be16(std::uint16_t v) {
    std::uint8_t b[2];
    store_be16(b, v);
    out_.insert(out_.end(), b, b + 2);
}

void AtomWriter::be32(std::uint32_t v) {
    std::uint8_t b[4];
    store_be32(b, v);
    out_.insert(out_.end(), b, b + 4);
}

void AtomWriter::be64(std::uint64_t v) {
    std::uint8_t b[8];
    store_be64(b, v);
    out_.insert(out_.end(), b, b + 8);
}

void AtomWriter::le16(std::uint16_t v) {
    std::uint8_t b[2];
    store_le16(b, v);
    out_.insert(out_.end(), b, b + 2);
}

void AtomWriter::text(std::string_view s) {
    out_.insert(out_.end(), s.begin(), s.end());
}

void AtomWriter::unity_matrix() {
    const std::uint32_t m[9] = {0x00010000, 0, 0, 0, 0x00010000, 0, 0, 0, 0x40000000};
    for (std::uint32_t v : m) be32(v);
}

}  // namespace tav::cardgen

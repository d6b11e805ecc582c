#pragma once
// Appends QuickTime atoms to a byte vector: big-endian fields, and atoms whose
// size field is patched once their children have been written.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tav::cardgen {

class AtomWriter {
  public:
    explicit AtomWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    // Starts an atom of the given four-character type; returns its start for end().
    std::size_t begin(std::string_view type);
    // Writes the atom's size (everything appended since begin()).
    void end(std::size_t start);
    // Starts a "full" atom: type, then the version byte and 24 flag bits.
    std::size_t begin_full(std::string_view type, std::uint8_t version, std::uint32_t flags);

    void u8(std::uint8_t v) { out_.push_back(v); }
    void be16(std::uint16_t v);
    void be32(std::uint32_t v);
    void be64(std::uint64_t v);
    void le16(std::uint16_t v);
    void text(std::string_view s);
    void bytes(std::span<const std::uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }
    void zeros(std::size_t n) { out_.insert(out_.end(), n, 0); }
    // The identity matrix of movie and track headers (36 bytes).
    void unity_matrix();

    std::size_t position() const { return out_.size(); }

  private:
    std::vector<std::uint8_t>& out_;
};

}  // namespace tav::cardgen

#include "cardgen/raw_image.hpp"

#include <algorithm>
#include <cstring>
#include <fstream>

#include "cardgen/seeded_random.hpp"

namespace tav::cardgen {

namespace {

constexpr std::int64_t kChunk = 1 << 20;

// Copies the parts of every placement that fall into [chunk_start, chunk_start + chunk.size()).
void Overlay(std::span<std::uint8_t> chunk, std::int64_t chunk_start,
             const std::vector<Placement>& placements) {
    const std::int64_t chunk_end = chunk_start + static_cast<std::int64_t>(chunk.size());
    for (const Placement& p : placements) {
        const std::int64_t p_end = p.offset + static_cast<std::int64_t>(p.bytes.size());
        const std::int64_t from = std::max(p.offset, chunk_start);
        const std::int64_t to = std::min(p_end, chunk_end);
        if (from >= to) continue;
        std::memcpy(chunk.data() + (from - chunk_start), p.bytes.data() + (from - p.offset),
                    static_cast<std::size_t>(to - from));
    }
}

}  // namespace

std::expected<void, std::string> WriteRawImage(const std::filesystem::path& path, std::int64_t size,
                                               bool zero_filler, std::uint64_t seed,
                                               const std::vector<Placement>& placements) {
    for (const Placement& p : placements)
        if (p.offset < 0 || p.offset + static_cast<std::int64_t>(p.bytes.size()) > size)
            return std::unexpected("the files do not fit into the image");
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return std::unexpected("cannot create " + path.string());
    SeededRandom random(seed ^ 0x5EC7);
    std::vector<std::uint8_t> chunk;
    for (std::int64_t at = 0; at < size; at += kChunk) {
        chunk.assign(static_cast<std::size_t>(std::min(kChunk, size - at)), 0);
        if (!zero_filler) random.fill(chunk);
        Overlay(chunk, at, placements);
        out.write(reinterpret_cast<const char*>(chunk.data()),
                  static_cast<std::streamsize>(chunk.size()));
    }
    if (!out.flush()) return std::unexpected("cannot write " + path.string());
    return {};
}

}  // namespace tav::cardgen

#include "sources/source_fingerprint.hpp"

#include <array>
#include <cstdio>
#include <vector>

namespace tav {

namespace {

constexpr std::int64_t kSampleBytes = 4096;

void Mix(std::uint64_t& h, std::uint8_t byte) {
    h ^= byte;
    h *= 0x100000001b3ULL;
}

}  // namespace

std::string SourceFingerprint(const SourceReader& whole, std::int64_t volume_offset) {
    const std::int64_t size = whole.size();
    std::vector<std::int64_t> places = {0};
    if (volume_offset > 0) places.push_back(volume_offset);
    if (size > kSampleBytes) places.push_back((size - kSampleBytes) / 512 * 512);
    std::uint64_t h = 0xcbf29ce484222325ULL;
    std::array<std::uint8_t, kSampleBytes> block{};
    for (const std::int64_t at : places) {
        whole.read_at(at, block);
        for (const std::uint8_t b : block) Mix(h, b);
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

}  // namespace tav

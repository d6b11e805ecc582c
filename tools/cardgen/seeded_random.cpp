#include "cardgen/seeded_random.hpp"

#include <cstring>

namespace tav::cardgen {

std::uint64_t SeededRandom::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint64_t SeededRandom::below(std::uint64_t bound) {
    return bound == 0 ? 0 : next() % bound;
}

void SeededRandom::fill(std::span<std::uint8_t> out) {
    std::size_t i = 0;
    for (; i + 8 <= out.size(); i += 8) {
        const std::uint64_t v = next();
        std::memcpy(out.data() + i, &v, 8);
    }
    if (i < out.size()) {
        const std::uint64_t v = next();
        std::memcpy(out.data() + i, &v, out.size() - i);
    }
}

}  // namespace tav::cardgen

#pragma once
// Deterministic pseudo-random bytes for generated cards: the same seed gives
// the same image on every machine (splitmix64, no library dependence).

#include <cstdint>
#include <span>

namespace tav::cardgen {

class SeededRandom {
  public:
    explicit SeededRandom(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    // Uniform in [0, bound); bound 0 gives 0.
    std::uint64_t below(std::uint64_t bound);
    void fill(std::span<std::uint8_t> out);

  private:
    std::uint64_t state_;
};

}  // namespace tav::cardgen

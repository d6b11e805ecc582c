#pragma once
// FNV-1a 64-bit: a small, dependency-free hash to compare file contents.

#include <cstdint>
#include <span>
#include <string>

namespace tav::cardgen {

class Fnv1a64 {
  public:
    void add(std::span<const std::uint8_t> bytes) {
        for (std::uint8_t b : bytes) state_ = (state_ ^ b) * 0x100000001B3ull;
    }
    // The same as adding count zero bytes, without touching them.
    void add_zeros(std::uint64_t count) {
        std::uint64_t factor = 0x100000001B3ull, power = 1;
        for (; count > 0; count >>= 1, factor *= factor)
            if (count & 1) power *= factor;
        state_ *= power;
    }
    std::uint64_t value() const { return state_; }
    std::string hex() const;

  private:
    std::uint64_t state_ = 0xCBF29CE484222325ull;
};

std::string FnvHex(std::span<const std::uint8_t> bytes);

}  // namespace tav::cardgen

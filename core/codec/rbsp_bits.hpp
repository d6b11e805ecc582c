#pragma once
// Reads the payload of a NAL unit the way the codecs code it: fixed-width
// fields and Exp-Golomb numbers, with the emulation-prevention bytes
// (00 00 03) taken out. Bounds-checked: a read past the bytes answers
// nothing, and so does every read after it.

#include <cstdint>
#include <optional>
#include <vector>

#include "common/byte_view.hpp"

namespace tav {

class RbspBits {
  public:
    // payload: the unit's bytes after its header.
    explicit RbspBits(ByteView payload);

    std::optional<std::uint32_t> bits(unsigned count);  // count <= 32
    std::optional<std::uint32_t> ue();
    std::optional<std::int32_t> se();
    bool skip(std::uint64_t count);

  private:
    std::vector<std::uint8_t> rbsp_;
    std::uint64_t at_ = 0;  // in bits
};

}  // namespace tav

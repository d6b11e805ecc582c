#include "cardgen/frame_check.hpp"

namespace tav::cardgen {

bool LastFrameVerifies(ByteView file, std::uint64_t last_offset, std::uint32_t last_size) {
    const auto first = file.be32(last_offset);
    if (!first) return false;
    if (*first == 0x00010009u) return true;
    if (*first > 254) return false;
    const auto next = file.be32(last_offset + *first + 4);
    if (!next) return false;
    return std::uint64_t{*first} + *next + 8 == last_size;
}

}  // namespace tav::cardgen

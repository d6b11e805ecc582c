#include "codec/rbsp_bits.hpp"

namespace tav {

RbspBits::RbspBits(ByteView payload) {
    rbsp_.reserve(payload.size());
    int zeros = 0;
    for (std::size_t i = 0; i < payload.size(); ++i) {
        const std::uint8_t b = payload.data()[i];
        if (zeros >= 2 && b == 3) {
            zeros = 0;
            continue;
        }
        zeros = b == 0 ? zeros + 1 : 0;
        rbsp_.push_back(b);
    }
}

bool RbspBits::skip(std::uint64_t count) {
    const std::uint64_t total = std::uint64_t{rbsp_.size()} * 8;
    if (at_ > total || count > total - at_) {
        at_ = total + 1;  // every later read fails too
        return false;
    }
    at_ += count;
    return true;
}

std::optional<std::uint32_t> RbspBits::bits(unsigned count) {
    if (count > 32) return std::nullopt;
    const std::uint64_t from = at_;
    if (!skip(count)) return std::nullopt;
    std::uint32_t value = 0;
    for (std::uint64_t k = from; k < from + count; ++k)
        value = (value << 1) | ((rbsp_[static_cast<std::size_t>(k / 8)] >> (7 - k % 8)) & 1u);
    return value;
}

std::optional<std::uint32_t> RbspBits::ue() {
    unsigned zeros = 0;
    for (;;) {
        const auto bit = bits(1);
        if (!bit) return std::nullopt;
        if (*bit == 1) break;
        if (++zeros > 31) return std::nullopt;
    }
    const auto rest = bits(zeros);
    if (!rest) return std::nullopt;
    return static_cast<std::uint32_t>((std::uint64_t{1} << zeros) - 1 + *rest);
}

std::optional<std::int32_t> RbspBits::se() {
    const auto k = ue();
    if (!k) return std::nullopt;
    const auto magnitude = static_cast<std::int64_t>((std::uint64_t{*k} + 1) / 2);
    return static_cast<std::int32_t>(*k % 2 == 1 ? magnitude : -magnitude);
}

}  // namespace tav

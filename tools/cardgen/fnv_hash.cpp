#include "cardgen/fnv_hash.hpp"

#include <cstdio>

namespace tav::cardgen {

std::string Fnv1a64::hex() const {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(state_));
    return text;
}

std::string FnvHex(std::span<const std::uint8_t> bytes) {
    Fnv1a64 h;
    h.add(bytes);
    return h.hex();
}

}  // namespace tav::cardgen

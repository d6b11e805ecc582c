#pragma once
// Where a field of a generated movie atom lies, for tests that damage one.

#include <cstdint>
#include <string_view>
#include <vector>

namespace tav::test {

// The field `offset` bytes from the start (size field) of the nth atom of
// that type in the moov's bytes.
inline std::size_t MoovFieldOf(const std::vector<std::uint8_t>& moov, const char* type, int nth,
                               std::size_t offset) {
    const std::string_view bytes(reinterpret_cast<const char*>(moov.data()), moov.size());
    std::size_t at = 0;
    for (int k = 0; k <= nth; ++k) at = bytes.find(type, k == 0 ? 0 : at + 4);
    return at - 4 + offset;
}

}  // namespace tav::test

#include "scan/movie_atom_search.hpp"

#include <algorithm>
#include <cstring>

#ifdef __SSE2__
#include <immintrin.h>
#endif

namespace tav {

namespace {

constexpr std::size_t kMatchLength = 12;  // "moov", 4 bytes, "mvhd"

bool IsMovieAtomAt(const std::uint8_t* p) {
    return std::memcmp(p, "moov", 4) == 0 && std::memcmp(p + 8, "mvhd", 4) == 0;
}

// Checks one candidate position and appends it when it matches.
inline void Confirm(const std::uint8_t* base, std::size_t pos, std::vector<std::uint32_t>& out) {
    if (IsMovieAtomAt(base + pos)) out.push_back(static_cast<std::uint32_t>(pos));
}

// Plain search for the tail that the vector loop leaves.
void SearchScalar(const std::uint8_t* data, std::size_t from, std::size_t to,
                  std::vector<std::uint32_t>& out) {
    std::size_t pos = from;
    while (pos < to) {
        const void* hit = std::memchr(data + pos, 'm', to - pos);
        if (!hit) return;
        pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data);
        Confirm(data, pos, out);
        ++pos;
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
// 'm' at p and 'v' at p + 3, for the 32 positions from p.
__attribute__((target("avx2"))) inline __m256i Candidates32(const std::uint8_t* p) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 3));
    return _mm256_and_si256(_mm256_cmpeq_epi8(a, _mm256_set1_epi8('m')),
                            _mm256_cmpeq_epi8(b, _mm256_set1_epi8('v')));
}

// The same filter 64 positions at a time, for processors that have AVX2; a
// round without a candidate (nearly all of them) costs one test.
__attribute__((target("avx2"))) std::size_t FilterAvx2(const std::uint8_t* data, std::size_t end,
                                                       std::vector<std::uint32_t>& out) {
    std::size_t pos = 0;
    for (; pos + 64 <= end; pos += 64) {
        const __m256i low = Candidates32(data + pos);
        const __m256i high = Candidates32(data + pos + 32);
        const __m256i any = _mm256_or_si256(low, high);
        if (_mm256_testz_si256(any, any)) continue;
        std::uint64_t mask =
            static_cast<std::uint32_t>(_mm256_movemask_epi8(low)) |
            static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(high)))
                << 32;
        while (mask != 0) {
            Confirm(data, pos + static_cast<std::size_t>(__builtin_ctzll(mask)), out);
            mask &= mask - 1;
        }
    }
    return pos;
}

bool HaveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}
#endif

}  // namespace

void FindMovieAtoms(ByteView buffer, std::size_t limit, std::vector<std::uint32_t>& out) {
    if (buffer.size() < kMatchLength) return;
    // Positions whose whole match fits in the buffer; checked once here so the
    // loops below may read without further bounds checks.
    const std::size_t end = std::min(limit, buffer.size() - kMatchLength + 1);
    const std::uint8_t* data = buffer.data();
    std::size_t pos = 0;
#if defined(__x86_64__) && defined(__GNUC__)
    if (HaveAvx2()) pos = FilterAvx2(data, end, out);
#endif
#ifdef __SSE2__
    // First-and-last-byte filter: 'm' at p and 'v' at p + 3, 16 positions at a
    // time; the rare survivors are confirmed in full.
    const __m128i first = _mm_set1_epi8('m');
    const __m128i last = _mm_set1_epi8('v');
    for (; pos + 16 <= end; pos += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos + 3));
        unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        while (mask != 0) {
            Confirm(data, pos + static_cast<std::size_t>(__builtin_ctz(mask)), out);
            mask &= mask - 1;
        }
    }
#endif
    SearchScalar(data, pos, end, out);
}

}  // namespace tav

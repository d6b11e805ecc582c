// The H.264 sample check that tells a chunk where the tables put it from the
// bytes of another file or of a later fragment.

#include <gtest/gtest.h>

#include <vector>

#include "scan/avcc_sample.hpp"

namespace tav {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A NAL unit behind its 4-byte length: the header, then filler.
Bytes Nal(std::uint8_t header, std::uint32_t length) {
    Bytes out = {static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
                 static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    out.push_back(header);
    for (std::uint32_t i = 1; i < length; ++i) out.push_back(static_cast<std::uint8_t>(i * 7));
    return out;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(AvccSample, VerdictsOnWholeAndDamagedSamples) {
    const Bytes frame = Join({Nal(0x09, 2), Nal(0x25, 900)});  // delimiter + IDR slice
    const Bytes first = Join({Nal(0x09, 2), Nal(0x67, 12), Nal(0x68, 4), Nal(0x65, 300)});
    Bytes forbidden = frame;
    forbidden[4 + 2 + 4] |= 0x80;  // the slice's header
    const auto size = static_cast<std::uint32_t>(frame.size());
    const Bytes zeros(frame.size(), 0);
    // A foreign file whose first four bytes happen to be a fitting length,
    // then a byte that is no NAL header.
    const Bytes foreign = Join({Nal(0x09, 2), Nal(0x00, 900)});
    const struct {
        const char* name;
        Bytes bytes;
        std::uint32_t size;
        AvccVerdict verdict;
    } cases[] = {
        {"delimiter and slice", frame, size, AvccVerdict::Sample},
        {"parameter sets before the first slice", first, static_cast<std::uint32_t>(first.size()),
         AvccVerdict::Sample},
        {"sample size one byte short of the NALs", frame, size - 1, AvccVerdict::Foreign},
        {"sample size past the last NAL", frame, size + 1, AvccVerdict::Foreign},
        {"forbidden bit", forbidden, size, AvccVerdict::Foreign},
        {"zeros (a zero length)", zeros, size, AvccVerdict::Foreign},
        {"unknown NAL type", foreign, size, AvccVerdict::Foreign},
        {"too small to hold a NAL", frame, 4, AvccVerdict::Foreign},
        {"bytes end before the sample", Bytes(frame.begin(), frame.begin() + 8), size,
         AvccVerdict::Incomplete},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckAvccSample(ByteView(c.bytes), c.size), c.verdict) << c.name;
}

}  // namespace
}  // namespace tav

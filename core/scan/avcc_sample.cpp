#include "scan/avcc_sample.hpp"

#include <array>

namespace tav {

bool IsCameraNalType(std::uint8_t header) {
    const std::array<std::uint8_t, 1> unit = {static_cast<std::uint8_t>(header & 0x7F)};
    return ReadNalHeader(ByteView(unit), VideoCodec::H264).has_value();
}

bool NalUnitFits(std::uint32_t length, std::uint8_t header, std::uint64_t remaining) {
    const std::array<std::uint8_t, 5> unit = {
        static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
        static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length), header};
    return NalUnitFits(ByteView(unit), remaining, NalFormat{});
}

AvccVerdict CheckAvccSample(ByteView bytes, std::uint32_t sample_size, const NalFormat& format) {
    return CheckNalSample(bytes, sample_size, format);
}

}  // namespace tav

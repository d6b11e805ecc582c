#include "scan/avcc_sample.hpp"

namespace tav {

bool IsCameraNalType(std::uint8_t header) {
    switch (header & 0x1F) {
        case 1:
        case 5:
        case 6:
        case 7:
        case 8:
        case 9:
        case 10:
        case 11:
        case 12:
        case 13:  // the extensions of scalable and multi-view streams
        case 14:
        case 15:
        case 19:
        case 20:
            return true;
        default:
            return false;
    }
}

bool NalUnitFits(std::uint32_t length, std::uint8_t header, std::uint64_t remaining) {
    return remaining >= 5 && length != 0 && length <= remaining - 4 && (header & 0x80) == 0 &&
           IsCameraNalType(header);
}

AvccVerdict CheckAvccSample(ByteView bytes, std::uint32_t sample_size) {
    if (sample_size < 5) return AvccVerdict::Foreign;  // one length and one header at least
    std::uint64_t at = 0;
    while (at < sample_size) {
        if (sample_size - at < 5) return AvccVerdict::Foreign;
        const auto length = bytes.be32(static_cast<std::size_t>(at));
        const auto header = bytes.u8(static_cast<std::size_t>(at + 4));
        if (!length || !header) return AvccVerdict::Incomplete;
        if (!NalUnitFits(*length, *header, sample_size - at)) return AvccVerdict::Foreign;
        at += 4 + static_cast<std::uint64_t>(*length);
    }
    return AvccVerdict::Sample;
}

}  // namespace tav

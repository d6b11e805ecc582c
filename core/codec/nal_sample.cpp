#include "codec/nal_sample.hpp"

namespace tav {

namespace {

struct SampleWalk {
    SampleVerdict verdict = SampleVerdict::Foreign;
    std::uint32_t slices = 0;
};

SampleWalk WalkSample(ByteView bytes, std::uint64_t sample_size, const NalFormat& format) {
    SampleWalk walk;
    const std::size_t least = format.least_unit_bytes();
    if (sample_size < least) return walk;  // one length and one header at least
    std::uint64_t at = 0;
    while (at < sample_size) {
        if (sample_size - at < least) return walk;
        const auto from = static_cast<std::size_t>(at);
        if (!bytes.has(from, least)) {
            walk.verdict = SampleVerdict::Incomplete;
            return walk;
        }
        const ByteView unit = bytes.sub(from);
        if (!NalUnitFits(unit, sample_size - at, format)) return walk;
        const auto header = ReadNalHeader(unit.sub(format.length_size), format.codec);
        walk.slices += header && header->slice ? 1 : 0;
        at += format.length_size + std::uint64_t{*ReadNalLength(unit, 0, format)};
    }
    walk.verdict = SampleVerdict::Sample;
    return walk;
}

}  // namespace

bool NalUnitFits(ByteView unit, std::uint64_t remaining, const NalFormat& format) {
    if (remaining < format.least_unit_bytes()) return false;
    const auto length = ReadNalLength(unit, 0, format);
    if (!length || *length < format.header_bytes() || *length > remaining - format.length_size)
        return false;
    return ReadNalHeader(unit.sub(format.length_size, format.header_bytes()), format.codec)
        .has_value();
}

SampleVerdict CheckNalSample(ByteView bytes, std::uint32_t sample_size, const NalFormat& format) {
    return WalkSample(bytes, sample_size, format).verdict;
}

bool IsWholeFrame(ByteView sample, const NalFormat& format) {
    const SampleWalk walk = WalkSample(sample, sample.size(), format);
    return walk.verdict == SampleVerdict::Sample && walk.slices > 0;
}

}  // namespace tav

// The sample and last-frame checks for H.264 and HEVC with every length size:
// one field broken at a time must turn a whole frame into a foreign one.

#include <gtest/gtest.h>

#include <vector>

#include "codec/nal_sample.hpp"

namespace tav {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A unit behind its length field: the header, then filler up to length.
Bytes Unit(const NalFormat& f, const Bytes& header, std::uint32_t length) {
    Bytes out;
    for (int k = f.length_size - 1; k >= 0; --k)
        out.push_back(static_cast<std::uint8_t>(length >> (8 * k)));
    out.insert(out.end(), header.begin(), header.end());
    for (std::size_t i = header.size(); i < length; ++i)
        out.push_back(static_cast<std::uint8_t>(1 + i * 7 % 255));
    return out;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct Headers {
    Bytes delimiter, slice, sps, pps, unknown;
};

TEST(NalSample, OneBrokenFieldAtATime) {
    const Headers h264 = {{0x09, 0xF0}, {0x65, 0x88}, {0x67}, {0x68}, {0x18}};
    const Headers hevc = {
        {0x46, 0x01, 0x50}, {0x26, 0x01, 0xAF}, {0x42, 0x01}, {0x44, 0x01}, {0x54, 0x01}};
    const struct {
        NalFormat format;
        const Headers& h;
    } formats[] = {
        {{VideoCodec::H264, 1}, h264}, {{VideoCodec::H264, 2}, h264}, {{VideoCodec::H264, 4}, h264},
        {{VideoCodec::Hevc, 1}, hevc}, {{VideoCodec::Hevc, 2}, hevc}, {{VideoCodec::Hevc, 4}, hevc},
    };
    enum Break {
        None,
        NoSlice,
        SizeShort,
        SizeLong,
        Forbidden,
        ZeroLength,
        TooShortForHeader,
        UnknownType,
        CutShort,
        NoTemporalId
    };
    const struct {
        const char* name;
        Break what;
        SampleVerdict verdict;
    } cases[] = {
        {"a whole frame", None, SampleVerdict::Sample},
        {"parameter sets alone", NoSlice, SampleVerdict::Sample},
        {"sample size one byte short of the units", SizeShort, SampleVerdict::Foreign},
        {"sample size one byte past the units", SizeLong, SampleVerdict::Foreign},
        {"forbidden bit of the slice", Forbidden, SampleVerdict::Foreign},
        {"slice length zero", ZeroLength, SampleVerdict::Foreign},
        {"delimiter shorter than its header", TooShortForHeader, SampleVerdict::Foreign},
        {"a type no camera writes", UnknownType, SampleVerdict::Foreign},
        {"bytes end before the sample", CutShort, SampleVerdict::Incomplete},
        {"HEVC temporal id zero", NoTemporalId, SampleVerdict::Foreign},
    };
    for (const auto& f : formats) {
        const std::uint8_t ls = f.format.length_size;
        const bool hevc = f.format.codec == VideoCodec::Hevc;
        const Bytes delimiter =
            Unit(f.format, f.h.delimiter, static_cast<std::uint32_t>(f.h.delimiter.size()));
        const Bytes frame = Join({delimiter, Unit(f.format, f.h.slice, 200)});
        const std::size_t slice_at = delimiter.size();  // its length field
        for (const auto& c : cases) {
            if (c.what == NoTemporalId && !hevc) continue;
            SCOPED_TRACE(testing::Message() << c.name << ", " << (hevc ? "HEVC" : "H.264")
                                            << " with " << int{ls} << "-byte lengths");
            Bytes bytes = frame;
            std::size_t size = bytes.size();
            switch (c.what) {
                case None:
                    break;
                case NoSlice:
                    bytes = Join({Unit(f.format, f.h.sps, 12), Unit(f.format, f.h.pps, 4)});
                    size = bytes.size();
                    break;
                case SizeShort:
                    size -= 1;
                    break;
                case SizeLong:
                    bytes.push_back(0x41);
                    size += 1;
                    break;
                case Forbidden:
                    bytes[slice_at + ls] |= 0x80;
                    break;
                case ZeroLength:
                    for (std::size_t k = 0; k < ls; ++k) bytes[slice_at + k] = 0;
                    break;
                case TooShortForHeader:
                    bytes[ls - 1] = static_cast<std::uint8_t>(f.format.header_bytes() - 1);
                    break;
                case UnknownType:
                    std::copy(f.h.unknown.begin(), f.h.unknown.end(),
                              bytes.begin() + static_cast<std::ptrdiff_t>(slice_at + ls));
                    break;
                case CutShort:
                    bytes.resize(slice_at + ls);
                    break;
                case NoTemporalId:
                    bytes[slice_at + ls + 1] &= 0xF8;
                    break;
            }
            EXPECT_EQ(CheckNalSample(ByteView(bytes), static_cast<std::uint32_t>(size), f.format),
                      c.verdict);
            const bool whole = c.verdict == SampleVerdict::Sample && c.what != NoSlice;
            EXPECT_EQ(IsWholeFrame(ByteView(bytes).sub(0, size), f.format), whole);
        }
    }
}

// The length size is the track's: a frame read with another one is foreign.
TEST(NalSample, LengthSizeAndCodecMustBeTheTracks) {
    const NalFormat four{VideoCodec::H264, 4};
    const Bytes frame = Join({Unit(four, {0x09, 0xF0}, 2), Unit(four, {0x65, 0x88}, 300)});
    const auto size = static_cast<std::uint32_t>(frame.size());
    EXPECT_EQ(CheckNalSample(ByteView(frame), size, four), SampleVerdict::Sample);
    for (const NalFormat other : {NalFormat{VideoCodec::H264, 2}, NalFormat{VideoCodec::Hevc, 4}}) {
        EXPECT_EQ(CheckNalSample(ByteView(frame), size, other), SampleVerdict::Foreign);
        EXPECT_FALSE(IsWholeFrame(ByteView(frame), other));
    }
}

}  // namespace
}  // namespace tav

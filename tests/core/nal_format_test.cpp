// NAL unit headers and the length size of H.264 and HEVC sample descriptions:
// what the sample checks, the follow and the lost-header walk all rely on.

#include <gtest/gtest.h>

#include <vector>

#include "codec/nal_format.hpp"

namespace tav {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(NalFormat, HeadersOfBothCodecs) {
    const struct {
        Bytes unit;
        VideoCodec codec;
        bool valid;
        std::uint8_t type;
        bool slice, sync, first;
    } cases[] = {
        {{0x65, 0x88}, VideoCodec::H264, true, 5, true, true, true},          // IDR, first_mb 0
        {{0x41, 0x9A}, VideoCodec::H264, true, 1, true, false, true},         // P slice, first_mb 0
        {{0x41, 0x40}, VideoCodec::H264, true, 1, true, false, false},        // a later slice
        {{0x09, 0xF0}, VideoCodec::H264, true, 9, false, false, false},       // delimiter
        {{0xE5, 0x88}, VideoCodec::H264, false, 0, false, false, false},      // forbidden bit
        {{0x00, 0x00}, VideoCodec::H264, false, 0, false, false, false},      // type 0
        {{0x18, 0x00}, VideoCodec::H264, false, 0, false, false, false},      // type 24: none of a
                                                                              // camera's
        {{0x26, 0x01, 0xAF}, VideoCodec::Hevc, true, 19, true, true, true},   // IDR_W_RADL
        {{0x02, 0x01, 0x40}, VideoCodec::Hevc, true, 1, true, false, false},  // TRAIL_R, not first
        {{0x40, 0x01, 0x0C}, VideoCodec::Hevc, true, 32, false, false, false},  // VPS
        {{0x46, 0x01, 0x50}, VideoCodec::Hevc, true, 35, false, false, false},  // delimiter
        {{0x26, 0x00, 0xAF}, VideoCodec::Hevc, false, 0, false, false, false},  // temporal id + 1 =
                                                                                // 0
        {{0x26, 0x11, 0xAF}, VideoCodec::Hevc, false, 0, false, false, false},  // layer 2
        {{0x54, 0x01, 0x00}, VideoCodec::Hevc, false, 0, false, false, false},  // type 42: reserved
        {{0x26}, VideoCodec::Hevc, false, 0, false, false, false},              // cut short
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.unit));
        const auto h = ReadNalHeader(ByteView(c.unit), c.codec);
        ASSERT_EQ(h.has_value(), c.valid);
        if (!h) continue;
        EXPECT_EQ(h->type, c.type);
        EXPECT_EQ(h->slice, c.slice);
        EXPECT_EQ(h->sync, c.sync);
        EXPECT_EQ(h->first_slice, c.first);
    }
}

// A visual sample description with one configuration record child.
Bytes Entry(const char* format, const char* record, Bytes body) {
    Bytes e(86, 0);
    const std::size_t size = e.size() + 8 + body.size();
    e[0] = static_cast<std::uint8_t>(size >> 24);
    e[1] = static_cast<std::uint8_t>(size >> 16);
    e[2] = static_cast<std::uint8_t>(size >> 8);
    e[3] = static_cast<std::uint8_t>(size);
    for (int i = 0; i < 4; ++i) e[4 + i] = static_cast<std::uint8_t>(format[i]);
    const std::size_t child = 8 + body.size();
    for (int i = 0; i < 4; ++i) e.push_back(static_cast<std::uint8_t>(child >> (24 - 8 * i)));
    for (int i = 0; i < 4; ++i) e.push_back(static_cast<std::uint8_t>(record[i]));
    e.insert(e.end(), body.begin(), body.end());
    return e;
}

TEST(NalFormat, LengthSizeFromTheConfigurationRecord) {
    Bytes hvcc(23, 0);
    hvcc[0] = 1;
    hvcc[21] = 0xF0 | 1;  // two-byte lengths
    const struct {
        Bytes entry;
        std::optional<NalFormat> format;
    } cases[] = {
        {Entry("avc1", "avcC", {1, 0x64, 0, 0x1F, 0xFF}), NalFormat{VideoCodec::H264, 4}},
        {Entry("avc3", "avcC", {1, 0x64, 0, 0x1F, 0xFC}), NalFormat{VideoCodec::H264, 1}},
        {Entry("avc1", "avcC", {1, 0x64, 0, 0x1F, 0xFE}), std::nullopt},  // 3 bytes: no such size
        {Entry("avc1", "avcC", {0, 0x64, 0, 0x1F, 0xFF}), std::nullopt},  // unknown version
        {Entry("avc1", "avcC", {1, 0x64, 0, 0x1F}), std::nullopt},        // record cut short
        {Entry("avc1", "hvcC", hvcc), std::nullopt},  // the other codec's record
        {Entry("hvc1", "hvcC", hvcc), NalFormat{VideoCodec::Hevc, 2}},
        {Entry("hev1", "hvcC", hvcc), NalFormat{VideoCodec::Hevc, 2}},
        {Entry("mp4v", "esds", {1, 2, 3, 4, 5}), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.entry));
        EXPECT_EQ(NalFormatOf(ByteView(c.entry)), c.format);
    }
    const Bytes lengths = {0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(ReadNalLength(ByteView(lengths), 0, {VideoCodec::H264, 1}), 0x12u);
    EXPECT_EQ(ReadNalLength(ByteView(lengths), 1, {VideoCodec::Hevc, 2}), 0x3456u);
    EXPECT_EQ(ReadNalLength(ByteView(lengths), 1, {VideoCodec::H264, 4}), std::nullopt);
}

}  // namespace
}  // namespace tav

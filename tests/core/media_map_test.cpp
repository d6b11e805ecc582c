// Which video tracks the media map takes: the ones whose samples' framing is
// known, with that framing.

#include <gtest/gtest.h>

#include "scan/media_map.hpp"

namespace tav {
namespace {

TEST(MediaMap, TakesEveryKnownFramingAndCarriesIt) {
    const struct {
        const char* codec;
        std::optional<NalFormat> nal;
        std::optional<NalFormat> mapped;
    } cases[] = {
        {"hvc1", NalFormat{VideoCodec::Hevc, 2}, NalFormat{VideoCodec::Hevc, 2}},
        {"avc3", NalFormat{VideoCodec::H264, 1}, NalFormat{VideoCodec::H264, 1}},
        {"avc1", std::nullopt, NalFormat{VideoCodec::H264, 4}},  // record unread: as before
        {"hev1", std::nullopt, std::nullopt},
        {"mp4v", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        MovieTracks tracks;
        MovieTrack& t = tracks.tracks.emplace_back();
        t.handler = "vide";
        t.codec = c.codec;
        t.nal = c.nal;
        t.chunk_offsets = {300, 100};
        t.chunk_samples = {1, 2};
        t.sample_sizes = {50, 60, 70};
        const auto map = MapMedia(tracks);
        ASSERT_EQ(map.has_value(), c.mapped.has_value()) << c.codec;
        if (!map) continue;
        EXPECT_EQ(map->nal, *c.mapped) << c.codec;
        ASSERT_EQ(map->video.size(), 3u);
        EXPECT_EQ(map->video[0].offset, 100u);  // in file order
        EXPECT_EQ(map->video[2].offset, 300u);
    }
}

}  // namespace
}  // namespace tav

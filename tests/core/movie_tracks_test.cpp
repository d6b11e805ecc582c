// Every track of a movie atom: media ends with sound last or first, in each
// PCM layout, and headers damaged one field at a time.

#include <gtest/gtest.h>

#include "cardgen/mov_builder.hpp"
#include "common/byte_order.hpp"
#include "scan/movie_tracks.hpp"
#include "support/moov_fields.hpp"

namespace tav {
namespace {

using cardgen::MovFile;
using cardgen::MovOptions;

MovFile Camera(bool sound, bool sound_last, int format) {
    MovOptions o;
    o.sound_track = sound;
    o.sound_last = sound_last;
    o.sound_format = format;
    return cardgen::BuildCameraMov(o, cardgen::SyntheticClip(12, 7));
}

TEST(MovieTracks, MediaEndsWhereTheMdatEndsWhicheverTrackIsLast) {
    for (int format = 0; format < static_cast<int>(cardgen::PcmFormats().size()); ++format)
        for (const bool last : {false, true}) {
            SCOPED_TRACE(std::string(cardgen::PcmFormats()[format].fourcc) +
                         (last ? " sound last" : " sound first"));
            const MovFile mov = Camera(true, last, format);
            const auto tracks = ParseMovieTracks(ByteView(mov.moov));
            ASSERT_TRUE(tracks.has_value());
            ASSERT_EQ(tracks->tracks.size(), 2u);
            EXPECT_EQ(tracks->media_end(), mov.head.size());
            const MovieTrack& video = *tracks->video();
            EXPECT_EQ(video.samples, mov.sample_sizes.size());
            EXPECT_EQ(video.last_sample_offset, mov.chunk_offsets.back());
            EXPECT_EQ(video.last_sample_size, mov.sample_sizes.back());
        }
}

// A field of the sound track's tables, found by its atom type.
std::size_t FieldOf(const MovFile& mov, const char* type, int nth, std::size_t offset) {
    return test::MoovFieldOf(mov.moov, type, nth, offset);
}

TEST(MovieTracks, DamagedFieldsDropTheTrackOrTheHeaderNeverReadOutside) {
    const MovFile mov = Camera(true, true, 0);
    const std::uint64_t video_end = mov.chunk_offsets.back() + mov.sample_sizes.back();
    struct Case {
        const char* what;
        const char* atom;
        int nth;  // 0: the video track's, 1: the sound track's
        std::size_t offset;
        std::uint32_t value;
        std::optional<std::uint64_t> end;  // nothing: no header at all
    };
    const Case cases[] = {
        {"sound stsc count past its atom", "stsc", 1, 12, 0x7FFFFFFF, video_end},
        {"sound samples per chunk 0", "stsc", 1, 20, 0, video_end},
        {"sound channels 0", "sowt", 0, 24, 0, video_end},
        {"sound chunk count past its atom", "stco", 1, 12, 0x00FFFFFF, video_end},
        {"video sample count past its atom", "stsz", 0, 16, 0x00FFFFFF, std::nullopt},
        {"video stco count 0", "stco", 0, 12, 0, std::nullopt},
        {"moov size past the bytes", "moov", 0, 0, 0x7FFFFFFF, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MovFile bad = mov;
        const std::size_t at = FieldOf(bad, c.atom, c.nth, c.offset);
        ASSERT_LT(at + 4, bad.moov.size());
        if (c.offset == 24)
            store_be16(bad.moov.data() + at, static_cast<std::uint16_t>(c.value));
        else
            store_be32(bad.moov.data() + at, c.value);
        const auto tracks = ParseMovieTracks(ByteView(bad.moov));
        ASSERT_EQ(tracks.has_value(), c.end.has_value());
        if (tracks) EXPECT_EQ(tracks->media_end(), c.end);
    }
}

TEST(MovieTracks, PcmFrameBytesByDescriptionVersion) {
    for (const auto& f : cardgen::PcmFormats()) {
        SCOPED_TRACE(f.fourcc);
        MovOptions o;
        o.sound_track = true;
        o.sound_format = static_cast<int>(&f - cardgen::PcmFormats().data());
        const MovFile mov = cardgen::BuildCameraMov(o, cardgen::SyntheticClip(2, 1));
        const std::size_t entry = FieldOf(mov, f.fourcc, 0, 0);
        EXPECT_EQ(SoundFrameBytes(ByteView(mov.moov).sub(entry)), f.frame_bytes());
    }
}

}  // namespace
}  // namespace tav

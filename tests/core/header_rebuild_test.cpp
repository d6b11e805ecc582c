// Rebuilding a lost movie header: the walk of the media data, the parameter
// set check, the reference parse with one field damaged at a time, and the
// rebuilt header against the camera's own.

#include <gtest/gtest.h>

#include "cardgen/mov_builder.hpp"
#include "common/byte_order.hpp"
#include "recovery/header_rebuild.hpp"
#include "recovery/movie_header_writer.hpp"
#include "scan/movie_tracks.hpp"
#include "support/moov_fields.hpp"

namespace tav {
namespace {

using cardgen::Bytes;
using cardgen::MovFile;

constexpr std::uint8_t kDelimiter = 0x09, kSei = 0x06, kIdr = 0x65, kSlice = 0x41;
constexpr std::uint8_t kFirstMb = 0x80, kLaterMb = 0x40;  // first_mb_in_slice 0 / not 0

// One NAL unit behind its length: header, first payload byte, filler.
Bytes Nal(std::uint8_t header, std::uint8_t first = kFirstMb, std::size_t filler = 20) {
    Bytes b(4);
    store_be32(b.data(), static_cast<std::uint32_t>(2 + filler));
    b.push_back(header);
    b.push_back(first);
    b.insert(b.end(), filler, 0x5A);
    return b;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

constexpr std::uint64_t kSound = 64;
const Bytes kSoundChunk(kSound, 0);  // silence: no NAL length fits

std::vector<std::uint64_t> Sizes(const MediaWalk& w) {
    std::vector<std::uint64_t> s;
    s.reserve(w.video.size());
    for (const auto& v : w.video) s.push_back(v.size);
    return s;
}

std::vector<bool> Syncs(const MediaWalk& w) {
    std::vector<bool> s;
    s.reserve(w.video.size());
    for (const auto& v : w.video) s.push_back(v.sync);
    return s;
}

TEST(MediaWalk, AccessUnitsSyncSamplesSoundAndWhereTheWalkEnds) {
    const Bytes aud = Nal(kDelimiter), idr = Nal(kIdr), slice = Nal(kSlice),
                second_slice = Nal(kSlice, kLaterMb), sei = Nal(kSei), garbage(40, 0xFF);
    const std::uint64_t n = idr.size();  // every NAL here is this long
    struct Case {
        const char* what;
        Bytes media;
        bool sound;
        std::vector<std::uint64_t> sizes;
        std::vector<bool> syncs;
        std::size_t sound_chunks;
        bool reached_end;
        std::uint64_t missing = 0;  // bytes the mdat size promises beyond the media
    };
    const Case cases[] = {
        {"delimiter-led, a picture of two slices",
         Join({aud, idr, aud, slice, second_slice}),
         false,
         {2 * n, 3 * n},
         {true, false},
         0,
         true},
        {"slice-led: SEI and a first slice begin units",
         Join({sei, idr, second_slice, slice, slice}),
         false,
         {3 * n, n, n},
         {true, false, false},
         0,
         true},
        {"sound chunks before and after a frame",
         Join({kSoundChunk, aud, idr, kSoundChunk, aud, slice}),
         true,
         {2 * n, 2 * n},
         {true, false},
         2,
         true},
        {"sound last",
         Join({idr, kSoundChunk, slice, kSoundChunk}),
         true,
         {n, n},
         {true, false},
         2,
         true},
        {"chunks of the reference's other sizes, a short one last",
         Join({kSoundChunk, kSoundChunk, idr, kSoundChunk, slice, Bytes(kSound / 2, 0)}),
         true,
         {n, n},
         {true, false},
         3,
         true},
        {"overwritten bytes drop the unit they may have cut",
         Join({aud, idr, aud, slice, garbage}),
         false,
         {2 * n},
         {true},
         0,
         false},
        {"sound without a sound track stops the walk",
         Join({aud, idr, aud, slice, kSoundChunk, aud, slice}),
         false,
         {2 * n},
         {true},
         0,
         false},
        {"a unit the bytes end inside is not taken",
         Join({aud, idr, aud, Bytes(slice.begin(), slice.begin() + 6)}),
         false,
         {2 * n},
         {true},
         0,
         false,
         n - 6},
        {"nor a sound chunk they end inside",
         Join({aud, idr, Bytes(10, 0)}),
         true,
         {},
         {},
         0,
         false,
         kSound - 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MediaWalkInput in{0, c.media.size() + c.missing, 0, std::nullopt};
        if (c.sound) {
            in.sound_chunk_bytes = kSound;
            in.more_sound_chunk_bytes = {2 * kSound};
            in.sound_frame_bytes = 4;
        }
        const auto walk = WalkMedia(ViewBytes(ByteView(c.media)), in);
        ASSERT_TRUE(walk.has_value());
        EXPECT_EQ(Sizes(*walk), c.sizes);
        EXPECT_EQ(Syncs(*walk), c.syncs);
        EXPECT_EQ(walk->sound_chunks.size(), c.sound_chunks);
        EXPECT_EQ(walk->reached_end, c.reached_end);
        const std::uint64_t last =
            walk->video.empty() ? 0 : walk->video.back().offset + walk->video.back().size;
        const std::uint64_t last_sound =
            walk->sound_chunks.empty()
                ? 0
                : walk->sound_chunks.back().offset + walk->sound_chunks.back().size;
        EXPECT_EQ(walk->end, std::max({last, last_sound, walk->start}));
    }
}

TEST(MediaWalk, StartIsSearchedWhenTheReferenceOffsetDoesNotFit) {
    const Bytes tags = {'D', 'A', 'T', 'E', 10,  0,   0,   0,   '2', '0',
                        '1', '1', ':', '0', '1', ':', '0', '2', '-', '-'};
    const Bytes media = Join({tags, Nal(kDelimiter), Nal(kIdr), Nal(kDelimiter), Nal(kSlice)});
    for (const std::uint64_t first : {std::uint64_t{3}, std::uint64_t{9999}}) {
        const auto walk =
            WalkMedia(ViewBytes(ByteView(media)), {0, media.size(), first, std::nullopt});
        ASSERT_TRUE(walk.has_value());
        EXPECT_EQ(walk->start, tags.size());
        EXPECT_EQ(walk->video.size(), 2u);
    }
    const Bytes none(200, 0xEE);
    EXPECT_FALSE(WalkMedia(ViewBytes(ByteView(none)), {0, none.size(), 0, std::nullopt}));
}

// A camera file of synthetic frames with delimiters; seed picks the frames.
MovFile Camera(bool sound, bool sound_last, std::uint64_t seed, int frames = 9) {
    cardgen::MovOptions o;
    o.sound_track = sound;
    o.sound_last = sound_last;
    return cardgen::BuildCameraMov(o, cardgen::SyntheticClip(frames, seed, true));
}

ReferenceMovie Reference(const MovFile& mov) {
    auto ref = ParseReferenceMovie(ByteView(mov.moov));
    EXPECT_TRUE(ref.has_value()) << ref.error();
    return ref.value_or(ReferenceMovie{});
}

TEST(HeaderRebuild, RebuiltHeaderDescribesTheSamplesTheCameraWrote) {
    for (const bool sound : {false, true})
        for (const bool last : {false, true}) {
            if (!sound && last) continue;
            SCOPED_TRACE(std::string(sound ? "sound " : "video only ") + (last ? "last" : "first"));
            const MovFile original = Camera(sound, last, 3, 11);
            // References with and without sound: the one that walks furthest wins.
            const std::vector<ReferenceMovie> refs = {Reference(Camera(false, false, 8)),
                                                      Reference(Camera(true, false, 9))};
            const auto file = RebuildHeader(ViewBytes(ByteView(original.head)), refs);
            ASSERT_TRUE(file.has_value()) << file.error();
            EXPECT_EQ(file->copy_length, original.head.size());
            EXPECT_TRUE(file->patch.empty());
            EXPECT_EQ(file->frames, original.sample_sizes.size());
            EXPECT_EQ(file->sound, sound);
            const auto want = ParseMovieTracks(ByteView(original.moov));
            const auto got = ParseMovieTracks(ByteView(file->moov));
            ASSERT_TRUE(want && got);
            ASSERT_EQ(got->tracks.size(), want->tracks.size());
            for (std::size_t k = 0; k < want->tracks.size(); ++k) {
                EXPECT_EQ(got->tracks[k].handler, want->tracks[k].handler);
                EXPECT_EQ(got->tracks[k].samples, want->tracks[k].samples);
                EXPECT_EQ(got->tracks[k].first_chunk, want->tracks[k].first_chunk);
                EXPECT_EQ(got->tracks[k].media_end, want->tracks[k].media_end);
                EXPECT_EQ(got->tracks[k].last_sample_offset, want->tracks[k].last_sample_offset);
            }
        }
}

TEST(HeaderRebuild, MediaCutShortEndsAtTheLastWholeFrameWithTheMdatSizeFixed) {
    for (const bool mdat64 : {false, true}) {
        SCOPED_TRACE(mdat64 ? "64-bit mdat size" : "32-bit mdat size");
        cardgen::MovOptions o;
        o.mdat64 = mdat64;
        MovFile original = cardgen::BuildCameraMov(o, cardgen::SyntheticClip(10, 4, true));
        // From inside the last frame's first NAL length on.
        std::fill(
            original.head.begin() + static_cast<std::ptrdiff_t>(original.chunk_offsets[9] + 2),
            original.head.end(), 0xFF);
        const auto file =
            RebuildHeader(ViewBytes(ByteView(original.head)), {Reference(Camera(false, false, 8))});
        ASSERT_TRUE(file.has_value()) << file.error();
        // The frame the bytes cut and the one before it (it may have been cut too).
        EXPECT_EQ(file->frames, 8u);
        EXPECT_EQ(file->copy_length, original.chunk_offsets[8]);
        ASSERT_EQ(file->patch.size(), mdat64 ? 8u : 4u);
        EXPECT_EQ(file->patch_at, mdat64 ? 28u : 20u);
        EXPECT_EQ(mdat64 ? load_be64(file->patch.data()) : load_be32(file->patch.data()),
                  file->copy_length - 20);
        const auto tracks = ParseMovieTracks(ByteView(file->moov));
        ASSERT_TRUE(tracks);
        EXPECT_EQ(tracks->media_end(), file->copy_length);
    }
}

// Offsets past 4 GiB need 64-bit chunk offsets.
TEST(HeaderRebuild, ChunkOffsetsPast4GiBAreWritten64Bit) {
    const ReferenceMovie ref = Reference(Camera(true, false, 8));
    for (const std::uint64_t base : {std::uint64_t{4096}, std::uint64_t{5} << 30}) {
        SCOPED_TRACE(base);
        MediaWalk walk;
        walk.video = {{base, 1000, true}, {base + 1000 + 7680, 900, false}};
        walk.sound_chunks = {{base + 1000, 7680}};
        walk.end = base + 1000 + 7680 + 900;
        const ByteString moov = WriteRebuiltMoov(ref, walk);
        const std::string_view text(reinterpret_cast<const char*>(moov.data()), moov.size());
        EXPECT_EQ(text.find("co64") != std::string_view::npos, base > 0xFFFFFFFFu);
        const auto tracks = ParseMovieTracks(ByteView(moov));
        ASSERT_TRUE(tracks);
        ASSERT_EQ(tracks->tracks.size(), 2u);
        EXPECT_EQ(tracks->video()->first_chunk, base);
        EXPECT_EQ(tracks->tracks[1].first_chunk, base + 1000);
        EXPECT_EQ(tracks->media_end(), walk.end);
    }
}

TEST(HeaderRebuild, ParameterSetsInTheStreamMustBeTheReferences) {
    const MovFile ref_file = Camera(false, false, 8);
    const ReferenceMovie ref = Reference(ref_file);
    ASSERT_FALSE(ref.video.sps.empty());
    for (const bool same : {true, false}) {
        SCOPED_TRACE(same ? "same SPS" : "other SPS");
        Bytes sps = ref.video.sps.front();
        if (!same) sps.back() ^= 1;
        Bytes nal(4);
        store_be32(nal.data(), static_cast<std::uint32_t>(sps.size()));
        nal.insert(nal.end(), sps.begin(), sps.end());
        // The stream's first frame carries the SPS after its delimiter.
        MovFile mov = Camera(false, false, 5);
        const auto first = static_cast<std::ptrdiff_t>(mov.chunk_offsets.front() + 6);
        mov.head.insert(mov.head.begin() + first, nal.begin(), nal.end());
        store_be32(mov.head.data() + 20, static_cast<std::uint32_t>(mov.head.size() - 20));
        const auto file = RebuildHeader(ViewBytes(ByteView(mov.head)), {ref});
        EXPECT_EQ(file.has_value(), same);
        if (!file) {
            EXPECT_NE(file.error().find("SPS"), std::string::npos);
        }
    }
}

TEST(ReferenceMovie, ReadsTheCamerasSettingsAndRefusesADamagedField) {
    const MovFile mov = Camera(true, false, 6);
    const ReferenceMovie ref = Reference(mov);
    EXPECT_EQ(ref.movie_timescale, 600u);
    EXPECT_EQ(ref.video.timescale, 2500u);
    EXPECT_EQ(ref.video.sample_delta, 100u);
    ASSERT_TRUE(ref.sound.has_value());
    EXPECT_EQ(ref.sound->timescale, 48000u);
    EXPECT_EQ(ref.sound->chunk_bytes(), 1920u * 4);
    EXPECT_EQ(ref.first_chunk, mov.chunk_offsets.front() - ref.sound->chunk_bytes());

    struct Case {
        const char* what;
        const char* atom;
        int nth;
        std::size_t offset;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"movie time scale 0", "mvhd", 0, 20, 0},
        {"video mdhd version 7", "mdhd", 0, 8, 0x07000000},
        {"video stts without entries", "stts", 0, 12, 0},
        {"video frame duration 0", "stts", 0, 20, 0},
        {"NAL lengths of 3 bytes", "avcC", 0, 9, 0x42C01EFE},
        {"avcC under another name", "avcC", 0, 4, 0x61766343 ^ 0x20},
        {"no video handler", "vide", 0, 4, 0x78787878},
        {"video chunk offsets without entries", "stco", 0, 12, 0},
        {"sound chunk runs without entries", "stsc", 1, 12, 0},
        {"sound description version 3", "sowt", 0, 16, 0x00030000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes bad = mov.moov;
        const std::size_t at = test::MoovFieldOf(bad, c.atom, c.nth, c.offset);
        ASSERT_LE(at + 4, bad.size());
        store_be32(bad.data() + at, c.value);
        EXPECT_FALSE(ParseReferenceMovie(ByteView(bad)).has_value());
    }
    EXPECT_FALSE(ParseReferenceMovie(ByteView(mov.moov).sub(0, mov.moov.size() - 1)));
}

}  // namespace
}  // namespace tav

// The lost-header rebuild for other cameras and phones: atoms before the
// mdat and its size forms, HEVC and other NAL length sizes, and AAC sound
// the header leaves out.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "rebuild_clip_support.hpp"
#include "recovery/header_rebuild.hpp"
#include "recovery/reference_file.hpp"
#include "recovery/start_region.hpp"
#include "recovery/video_config.hpp"
#include "scan/movie_tracks.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

using cardgen::Bytes;
using cardgen::MovFile;
using test::Join;
using test::Unit;

// An atom of zeros; size_field: what its size says, when not its size.
Bytes AtomOf(const char* type, std::size_t body, std::optional<std::uint32_t> size_field = {}) {
    Bytes a(8 + body, 0);
    store_be32(a.data(), size_field.value_or(static_cast<std::uint32_t>(a.size())));
    std::copy_n(type, 4, a.begin() + 4);
    return a;
}

Bytes Ftyp(const char* brand) {
    Bytes f = AtomOf("ftyp", 12);
    std::copy_n(brand, 4, f.begin() + 8);
    return f;
}

Bytes Mdat64(std::uint64_t size) {
    Bytes m = AtomOf("mdat", 8, 1);
    store_be64(m.data() + 8, size);
    return m;
}

TEST(StartRegion, AtomsBeforeTheMdatAndItsSizeForms) {
    const Bytes ftyp = Ftyp("isom");
    const std::uint64_t f = ftyp.size();
    const Bytes payload(100, 0x11);
    Bytes not_printable = AtomOf("free", 8);
    not_printable[5] = 0x01;
    struct Case {
        const char* what;
        Bytes region;
        std::uint64_t mdat_at;  // 0: refused
        std::uint64_t payload_at = 0;
        std::uint64_t end = 0;
        bool to_end = false;
        const char* error = "";
    };
    const Case cases[] = {
        {"qt brand, mdat first", Join({Ftyp("qt  "), AtomOf("mdat", 100), payload}), f, f + 8,
         f + 108},
        {"free, wide, skip and uuid before it",
         Join({ftyp, AtomOf("free", 0), AtomOf("wide", 0), AtomOf("skip", 8), AtomOf("uuid", 16),
               AtomOf("mdat", 100), payload}),
         f + 56, f + 64, f + 164},
        {"64-bit size", Join({ftyp, Mdat64(116), payload}), f, f + 16, f + 116},
        {"size 0: to the end of the file", Join({ftyp, AtomOf("mdat", 0, 0), payload}), f, f + 8,
         f + 0xFFFFFFFFu, true},
        {"a leading atom without a printable type", Join({ftyp, not_printable, AtomOf("mdat", 0)}),
         0, 0, 0, false, "ftyp后面不是mdat"},
        {"a leading atom shorter than its header",
         Join({ftyp, AtomOf("free", 0, 4), AtomOf("mdat", 0)}), 0, 0, 0, false, "ftyp后面不是mdat"},
        {"a leading atom that runs to the end",
         Join({ftyp, AtomOf("free", 0, 0), AtomOf("mdat", 0)}), 0, 0, 0, false, "ftyp后面不是mdat"},
        {"mdat past the walk",
         Join({ftyp, AtomOf("uuid", kMostLeadingAtomBytes), AtomOf("mdat", 100), payload}), 0, 0, 0,
         false, "ftyp后面不是mdat"},
        {"the region ends before an mdat", Join({ftyp, AtomOf("free", 8)}), 0, 0, 0, false,
         "ftyp后面不是mdat"},
        {"mdat shorter than its header", Join({ftyp, AtomOf("mdat", 0, 4), payload}), 0, 0, 0,
         false, "mdat的长度无效"},
        {"64-bit size shorter than its header", Join({ftyp, Mdat64(8), payload}), 0, 0, 0, false,
         "mdat的长度无效"},
        {"no ftyp", Join({AtomOf("free", 12), AtomOf("mdat", 0)}), 0, 0, 0, false, "开头不是ftyp"},
        {"ftyp too long", Join({AtomOf("ftyp", 0, 5000), AtomOf("mdat", 0)}), 0, 0, 0, false,
         "ftyp的长度无效"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto m = FindMediaData(ViewBytes(ByteView(c.region)));
        if (c.mdat_at == 0) {
            ASSERT_FALSE(m.has_value());
            EXPECT_EQ(m.error(), c.error);
            continue;
        }
        ASSERT_TRUE(m.has_value()) << m.error();
        EXPECT_EQ(m->mdat_at, c.mdat_at);
        EXPECT_EQ(m->payload_at, c.payload_at);
        EXPECT_EQ(m->end, c.end);
        EXPECT_EQ(m->to_end, c.to_end);
    }
}

// The camera file with `leading` put between its ftyp and mdat; its mdat
// size field 0 when to_end.
Bytes Shifted(const MovFile& mov, const Bytes& leading, bool to_end) {
    const std::uint32_t ftyp = load_be32(mov.head.data());
    Bytes head = mov.head;
    if (to_end) store_be32(head.data() + ftyp, 0);
    head.insert(head.begin() + ftyp, leading.begin(), leading.end());
    return head;
}

ReferenceMovie Reference(const Bytes& moov) {
    auto ref = ParseReferenceMovie(ByteView(moov));
    EXPECT_TRUE(ref.has_value()) << ref.error();
    return ref.value_or(ReferenceMovie{});
}

TEST(HeaderRebuild, MediaDataAfterOtherAtomsOrToTheEndIsRebuiltWhole) {
    const MovFile camera = cardgen::BuildCameraMov({}, cardgen::SyntheticClip(8, 5, true));
    const MovFile reference = cardgen::BuildCameraMov({}, cardgen::SyntheticClip(4, 9, true));
    const Bytes leading = Join({AtomOf("free", 0), AtomOf("uuid", 40)});
    for (const bool to_end : {false, true}) {
        SCOPED_TRACE(to_end ? "mdat size 0" : "mdat size given");
        const Bytes head = Shifted(camera, leading, to_end);
        const auto file = RebuildHeader(ViewBytes(ByteView(head)), {Reference(reference.moov)});
        ASSERT_TRUE(file.has_value()) << file.error();
        EXPECT_EQ(file->frames, camera.sample_sizes.size());
        // Size 0 would take in the new movie atom: it gets the size walked.
        const std::uint64_t mdat_at = load_be32(head.data()) + leading.size();
        EXPECT_EQ(file->patch.empty(), !to_end);
        if (to_end) {
            EXPECT_EQ(file->patch_at, mdat_at);
            ASSERT_EQ(file->patch.size(), 4u);
            EXPECT_EQ(load_be32(file->patch.data()), file->copy_length - mdat_at);
        }
        const auto tracks = ParseMovieTracks(ByteView(file->moov));
        ASSERT_TRUE(tracks && tracks->video());
        EXPECT_EQ(tracks->video()->first_chunk, camera.chunk_offsets.front() + leading.size());
        EXPECT_EQ(tracks->video()->samples, camera.sample_sizes.size());
        EXPECT_EQ(file->copy_length, tracks->media_end());
    }
}

std::vector<std::uint64_t> Sizes(const MediaWalk& w) {
    std::vector<std::uint64_t> s;
    for (const auto& v : w.video) s.push_back(v.size);
    return s;
}

std::vector<bool> Syncs(const MediaWalk& w) {
    std::vector<bool> s;
    for (const auto& v : w.video) s.push_back(v.sync);
    return s;
}

TEST(MediaWalk, AccessUnitsOfEitherCodecAndAnyLengthSize) {
    using namespace test;
    const NalFormat hevc{VideoCodec::Hevc, 4}, hevc2{VideoCodec::Hevc, 2},
        avc2{VideoCodec::H264, 2}, avc1{VideoCodec::H264, 1};
    const auto h = [](const NalFormat& f, std::uint8_t type, std::uint8_t slice = kFirstSlice) {
        return Unit(f, {HevcType(type), kHevcTid, slice});
    };
    constexpr std::uint64_t n4 = 4 + 23, n2 = 2 + 23;  // every HEVC unit here is 23 bytes
    const Bytes garbage(40, 0xFF);
    struct Case {
        const char* what;
        NalFormat format;
        Bytes media;
        std::vector<std::uint64_t> sizes;
        std::vector<bool> syncs;
        std::uint64_t most_unit_bytes = 0;
    };
    const Case cases[] = {
        {"HEVC led by delimiters, a picture of two slices",
         hevc,
         Join({h(hevc, kAud), h(hevc, kIdrRadl), h(hevc, kAud), h(hevc, kTrail),
               h(hevc, kTrail, kLaterSlice)}),
         {2 * n4, 3 * n4},
         {true, false}},
        {"HEVC sets and SEI after a slice begin a unit, a CRA is a sync sample",
         hevc,
         Join({h(hevc, kVps), h(hevc, kSps), h(hevc, kPps), h(hevc, kIdrRadl), h(hevc, kTrail),
               h(hevc, kPrefixSei), h(hevc, kCra), h(hevc, kTrail, kLaterSlice), h(hevc, kTrail)}),
         {4 * n4, n4, 3 * n4, n4},
         {true, false, true, false}},
        {"HEVC with 2-byte lengths, overwritten bytes drop the unit they may have cut",
         hevc2,
         Join({h(hevc2, kIdrRadl), h(hevc2, kTrail), h(hevc2, kTrail), garbage}),
         {n2, n2},
         {true, false}},
        {"H.264 with 2-byte lengths",
         avc2,
         Join({Unit(avc2, {0x09, 0xF0}), Unit(avc2, {0x65, 0x80}), Unit(avc2, {0x41, 0x80}),
               Unit(avc2, {0x41, 0x40})}),
         {2 + 22 + 2 + 22, 2 * (2 + 22)},
         {true, false}},
        {"a unit longer than the reference's frames allow stops the walk",
         hevc,
         Join({h(hevc, kIdrRadl), h(hevc, kTrail),
               Unit(hevc, {HevcType(kTrail), kHevcTid, kFirstSlice}, 60)}),
         {n4},
         {true},
         40},
        {"H.264 with 1-byte lengths",
         avc1,
         Join({Unit(avc1, {0x65, 0x80}), Unit(avc1, {0x41, 0x80})}),
         {1 + 22, 1 + 22},
         {true, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MediaWalkInput in{0, c.media.size(), 0, std::nullopt, c.format, 0, c.most_unit_bytes};
        const auto walk = WalkMedia(ViewBytes(ByteView(c.media)), in);
        ASSERT_TRUE(walk.has_value());
        EXPECT_EQ(Sizes(*walk), c.sizes);
        EXPECT_EQ(Syncs(*walk), c.syncs);
    }
}

TEST(MediaWalk, ChunksOfLeftOutTracksBetweenPictures) {
    const NalFormat f{VideoCodec::H264, 4};
    const Bytes aud = Unit(f, {0x09, 0xF0}), idr = Unit(f, {0x65, 0x80}),
                slice = Unit(f, {0x41, 0x80}), sei = Unit(f, {0x06, 0x05}),
                noise(30, 0xEE),                // no NAL length fits
        fake_slice = Unit(f, {0x41, 0x80}, 2);  // sound bytes that pass for one
    constexpr std::uint64_t n = 4 + 22;
    struct Case {
        const char* what;
        Bytes media;
        std::uint64_t first_sample;
        std::vector<std::uint64_t> sizes;
        std::vector<bool> syncs;
    };
    const Case cases[] = {
        {"stepped over",
         Join({aud, idr, noise, aud, slice, noise, aud, slice}),
         0,
         {2 * n, 2 * n, 2 * n},
         {true, false, false}},
        {"a slice right before the delimiter of a delimited stream is no picture",
         Join({aud, idr, noise, fake_slice, aud, slice}),
         0,
         {2 * n, 2 * n},
         {true, false}},
        {"a picture of one unit after a gap ends the walk rather than being skipped",
         Join({idr, slice, noise, slice, noise, sei, slice}),
         0,
         {n},
         {true}},
        {"one at the reference's first chunk is taken",
         Join({noise, idr, noise, aud, slice}),
         noise.size(),
         {n, 2 * n},
         {true, false}},
        {"one after another track's first chunk is found where the reference has none",
         Join({noise, idr, noise, aud, slice}),
         3,
         {n, 2 * n},
         {true, false}},
        {"pictures before the first sync picture are dropped",
         Join({aud, slice, aud, idr, aud, slice}),
         0,
         {2 * n, 2 * n},
         {true, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MediaWalkInput in{0, c.media.size(), c.first_sample, std::nullopt, f, 64};
        const auto walk = WalkMedia(ViewBytes(ByteView(c.media)), in);
        ASSERT_TRUE(walk.has_value());
        EXPECT_EQ(Sizes(*walk), c.sizes);
        EXPECT_EQ(Syncs(*walk), c.syncs);
    }
}

TEST(ReferenceFile, MovieHeaderBeforeOrAfterTheMediaData) {
    const MovFile mov = cardgen::BuildCameraMov({}, cardgen::SyntheticClip(5, 4, true));
    const auto ftyp = static_cast<std::ptrdiff_t>(load_be32(mov.head.data()));
    const Bytes ftyp_atom(mov.head.begin(), mov.head.begin() + ftyp);
    const Bytes media(mov.head.begin() + ftyp, mov.head.end());
    test::TempDir dir;
    for (const bool moov_first : {false, true}) {
        SCOPED_TRACE(moov_first ? "moov first" : "moov last");
        const Bytes file = moov_first ? Join({ftyp_atom, mov.moov, AtomOf("free", 8), media})
                                      : Join({ftyp_atom, AtomOf("free", 8), media, mov.moov});
        const auto path = dir.path() / "ref.mp4";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()),
                   static_cast<std::streamsize>(file.size()));
        const auto ref = LoadReferenceMovie(path);
        ASSERT_TRUE(ref.has_value()) << ref.error();
        EXPECT_EQ(ref->video.largest_sample,
                  *std::max_element(mov.sample_sizes.begin(), mov.sample_sizes.end()));
    }
}

// The hvc1 description of a clip with one field set to value.
Bytes HevcEntryWith(std::size_t at, std::uint8_t value) {
    Bytes e = test::HevcEntry(4);
    e.at(at) = value;
    return e;
}

TEST(VideoConfig, CodecLengthSizeAndParameterSetsOfTheDescription) {
    Bytes avc = cardgen::SyntheticClip(1, 1, true).stsd_entry;
    constexpr std::size_t kRecord = 86 + 8;  // the first byte of the avcC or hvcC body
    Bytes avc2 = avc;
    avc2[kRecord + 4] = 0xFD;
    Bytes hev1 = test::HevcEntry(2);
    std::copy_n("hev1", 4, hev1.begin() + 4);
    Bytes no_record = test::HevcEntry(4);
    std::copy_n("hvcc", 4, no_record.begin() + 90);
    Bytes truncated = test::HevcEntry(4);
    truncated.resize(truncated.size() - 2);
    store_be32(truncated.data(), static_cast<std::uint32_t>(truncated.size()));
    store_be32(truncated.data() + 86, static_cast<std::uint32_t>(truncated.size() - 86));
    struct Case {
        const char* what;
        Bytes entry;
        std::optional<NalFormat> format;  // nothing: refused
        std::size_t vps = 0;
        const char* error = "";
    };
    const Case cases[] = {
        {"avc1, 4-byte lengths", avc, NalFormat{VideoCodec::H264, 4}},
        {"avc1, 2-byte lengths", avc2, NalFormat{VideoCodec::H264, 2}},
        {"hvc1", test::HevcEntry(4), NalFormat{VideoCodec::Hevc, 4}, 1},
        {"hev1, 2-byte lengths", hev1, NalFormat{VideoCodec::Hevc, 2}, 1},
        {"HEVC, 3-byte lengths", HevcEntryWith(kRecord + 21, 0xFE), std::nullopt, 0,
         "hvcC不是1、2或4字节NAL长度的HEVC描述"},
        {"hvcC of version 0", HevcEntryWith(kRecord, 0), std::nullopt, 0,
         "hvcC不是1、2或4字节NAL长度的HEVC描述"},
        {"no VPS array", HevcEntryWith(kRecord + 23, 0x80 | 40), std::nullopt, 0,
         "hvcC的参数集不完整"},
        {"an array past the record", truncated, std::nullopt, 0, "hvcC的参数集不完整"},
        {"no hvcC", no_record, std::nullopt, 0, "视频样本描述中没有hvcC"},
        {"a description cut short", Bytes(avc.begin(), avc.begin() + 80), std::nullopt, 0,
         "视频样本描述不完整"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto config = ReadVideoConfig(ByteView(c.entry));
        ASSERT_EQ(config.has_value(), c.format.has_value());
        if (!config) {
            EXPECT_EQ(config.error(), c.error);
            continue;
        }
        EXPECT_EQ(config->format, *c.format);
        EXPECT_EQ(config->vps.size(), c.vps);
        EXPECT_EQ(config->sps.size(), 1u);
        EXPECT_EQ(config->pps.size(), 1u);
    }
}

TEST(HeaderRebuild, HevcClipKeepsItsDescriptionAndItsSetsAreChecked) {
    const MovFile ref_file = cardgen::BuildCameraMov({}, test::HevcClip(3, 7));
    const ReferenceMovie ref = Reference(ref_file.moov);
    ASSERT_EQ(ref.video.format.codec, VideoCodec::Hevc);
    for (const bool same : {true, false}) {
        SCOPED_TRACE(same ? "the reference's VPS" : "another VPS");
        MovFile mov = cardgen::BuildCameraMov({}, test::HevcClip(6, 2));
        // The first frame starts with the VPS: its last byte differs.
        if (!same) mov.head[mov.chunk_offsets.front() + 4 + test::kHevcVps.size() - 1] ^= 1;
        const auto file = RebuildHeader(ViewBytes(ByteView(mov.head)), {ref});
        ASSERT_EQ(file.has_value(), same);
        if (!file) {
            EXPECT_EQ(file.error(), "视频的SPS/PPS与参考文件的不同");
            continue;
        }
        EXPECT_EQ(file->frames, 6u);
        const auto tracks = ParseMovieTracks(ByteView(file->moov));
        ASSERT_TRUE(tracks && tracks->video());
        EXPECT_EQ(tracks->video()->codec, "hvc1");
        EXPECT_EQ(tracks->video()->nal, ref.video.format);
        EXPECT_EQ(tracks->video()->first_chunk, mov.chunk_offsets.front());
        EXPECT_EQ(tracks->video()->sample_sizes,
                  std::vector<std::uint32_t>(mov.sample_sizes.begin(), mov.sample_sizes.end()));
        // One sync sample: the IDR.
        const std::string_view text(reinterpret_cast<const char*>(file->moov.data()),
                                    file->moov.size());
        const std::size_t stss = text.find("stss");
        ASSERT_NE(stss, std::string_view::npos);
        EXPECT_EQ(load_be32(file->moov.data() + stss + 8), 1u);
        EXPECT_EQ(load_be32(file->moov.data() + stss + 12), 1u);
    }
}

TEST(HeaderRebuild, AacSoundIsSteppedOverAndLeftOut) {
    // Chunks of 3 AAC frames of varying size before each video frame and
    // after the last.
    constexpr std::size_t kFrames = 7;
    cardgen::SeededRandom random(11);
    std::vector<std::uint32_t> frame_sizes(3 * (kFrames + 1));
    for (auto& s : frame_sizes) s = 200 + static_cast<std::uint32_t>(random.below(400));
    std::vector<Bytes> gaps;
    for (std::size_t k = 0; k <= kFrames; ++k) {
        Bytes chunk(frame_sizes[3 * k] + frame_sizes[3 * k + 1] + frame_sizes[3 * k + 2]);
        random.fill(chunk);
        gaps.push_back(std::move(chunk));
    }
    const MovFile camera = cardgen::BuildCameraMov({}, cardgen::SyntheticClip(kFrames, 3, true));
    std::vector<std::uint64_t> offsets;
    const Bytes head = test::WithGaps(camera, gaps, offsets);

    const MovFile ref_file = cardgen::BuildCameraMov({}, cardgen::SyntheticClip(4, 9, true));
    const ReferenceMovie ref =
        Reference(test::WithTrak(ref_file.moov, test::AacTrak(frame_sizes, 3)));
    EXPECT_FALSE(ref.sound.has_value());
    EXPECT_TRUE(ref.sound_left_out);
    std::uint64_t largest = 0;
    for (const Bytes& g : gaps) largest = std::max<std::uint64_t>(largest, g.size());
    EXPECT_EQ(ref.other_chunk_bytes, largest);

    const auto file = RebuildHeader(ViewBytes(ByteView(head)), {ref});
    ASSERT_TRUE(file.has_value()) << file.error();
    EXPECT_FALSE(file->sound);
    EXPECT_EQ(file->frames, kFrames);
    // The sound after the last frame is cut off with the mdat size.
    EXPECT_EQ(file->copy_length, head.size() - gaps.back().size());
    EXPECT_FALSE(file->patch.empty());
    const auto tracks = ParseMovieTracks(ByteView(file->moov));
    ASSERT_TRUE(tracks && tracks->video());
    EXPECT_EQ(tracks->tracks.size(), 1u);
    EXPECT_EQ(tracks->video()->chunk_offsets, offsets);
}

}  // namespace
}  // namespace tav

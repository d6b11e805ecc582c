// The lost-header rebuild for other cameras and phones: atoms before the
// mdat and its size forms.

#include <gtest/gtest.h>

#include "rebuild_clip_support.hpp"
#include "recovery/header_rebuild.hpp"
#include "recovery/start_region.hpp"
#include "scan/movie_tracks.hpp"

namespace tav {
namespace {

using cardgen::Bytes;
using cardgen::MovFile;
using test::Join;

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
         Join({ftyp, AtomOf("free", kMostLeadingAtomBytes), AtomOf("mdat", 100), payload}), 0, 0, 0,
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

}  // namespace
}  // namespace tav

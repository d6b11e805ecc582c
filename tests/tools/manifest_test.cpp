#include <gtest/gtest.h>

#include "cardgen/manifest.hpp"

namespace tav::cardgen {
namespace {

TEST(Manifest, RoundTripsThroughJson) {
    Manifest m;
    m.kind = "raw";
    m.seed = 12345678901ull;
    m.image = "a \"quoted\" name\\x.img";
    m.image_size = 1ll << 40;
    m.partition_offset = 1048576;
    m.file_system = "Raw";
    m.note = "tab\there";
    ManifestFile f;
    f.name = "MVI_0001.MOV";
    f.state = "orphan-moov";
    f.head_offset = -1;
    f.moov_offset = 5000000000ll;
    f.length = 99;
    f.head_length = 60;
    f.moov_length = 39;
    f.frames = 7;
    f.date = "2012:05:03";
    f.time = "14:22:10";
    f.aud = true;
    f.co64 = true;
    f.cnmn = false;
    f.split = true;
    f.last_frame_verifies = true;
    f.file_hash = "0123456789abcdef";
    f.head_hash = "1";
    f.moov_hash = "2";
    m.files = {f, f};
    m.files[0].fragments = {{5000000000ll, 4096}, {-1, 7}};
    m.files[1].name = "B, with comma: and {brace}";
    m.files[1].mdat64 = true;
    m.files[1].sound = true;
    m.files[1].state = "lost-header";
    m.files[1].reference = "card.img.reference-sound.mov";
    m.files[1].original = "card.img.originals/B \"1\".MOV";
    m.files[1].brand = "mp42";
    m.files[1].video_codec = "hvc1";
    m.files[1].sound_codec = "mp4a";
    m.files[1].moov_first = true;
    m.files[1].tagged = false;
    m.files[1].extension = ".mp4";

    const auto back = ManifestFromJson(ManifestToJson(m));
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(back->kind, m.kind);
    EXPECT_EQ(back->seed, m.seed);
    EXPECT_EQ(back->image, m.image);
    EXPECT_EQ(back->image_size, m.image_size);
    EXPECT_EQ(back->partition_offset, m.partition_offset);
    EXPECT_EQ(back->note, m.note);
    ASSERT_EQ(back->files.size(), 2u);
    const ManifestFile& g = back->files[0];
    EXPECT_EQ(g.state, f.state);
    EXPECT_EQ(g.head_offset, -1);
    EXPECT_EQ(g.moov_offset, 5000000000ll);
    EXPECT_EQ(g.frames, 7);
    EXPECT_EQ(g.time, f.time);
    EXPECT_TRUE(g.aud && g.co64 && g.split && g.last_frame_verifies);
    EXPECT_FALSE(g.mdat64 || g.sound || g.cnmn);
    EXPECT_EQ(g.file_hash, f.file_hash);
    EXPECT_EQ(g.fragments, m.files[0].fragments);
    EXPECT_TRUE(back->files[1].fragments.empty());
    EXPECT_EQ(back->files[1].name, m.files[1].name);
    EXPECT_TRUE(back->files[1].mdat64 && back->files[1].sound);
    EXPECT_EQ(back->files[1].reference, m.files[1].reference);
    EXPECT_EQ(back->files[1].original, m.files[1].original);
    EXPECT_TRUE(g.reference.empty() && g.original.empty());
    const ManifestFile& h = back->files[1];
    EXPECT_EQ(h.brand + h.video_codec + h.sound_codec + h.extension, "mp42hvc1mp4a.mp4");
    EXPECT_TRUE(h.moov_first && !h.tagged);
    EXPECT_EQ(g.brand + g.video_codec + g.sound_codec + g.extension, "qt  avc1.mov");
    EXPECT_TRUE(!g.moov_first && g.tagged);
}

TEST(Manifest, FileLinesWithoutContainerKeysReadAsCameraFiles) {
    const auto m = ManifestFromJson(
        "{\n  \"kind\": \"raw\",\n  \"image\": \"a.img\",\n  \"files\": [\n"
        "    {\"name\": \"MVI_1.MOV\", \"sound\": true, \"moov_offset\": 9}\n  ]\n}\n");
    ASSERT_TRUE(m) << m.error();
    ASSERT_EQ(m->files.size(), 1u);
    const ManifestFile& f = m->files[0];
    EXPECT_EQ(f.moov_offset, 9);
    EXPECT_EQ(f.brand + f.video_codec + f.sound_codec + f.extension, "qt  avc1sowt.mov");
    EXPECT_TRUE(f.tagged && !f.moov_first);
}

TEST(Manifest, RejectsTextThatIsNoManifest) {
    EXPECT_FALSE(ManifestFromJson(""));
    EXPECT_FALSE(ManifestFromJson("{\"files\": [\n]}\n"));
    EXPECT_FALSE(ManifestFromJson("\"kind\": \"raw"));
}

}  // namespace
}  // namespace tav::cardgen

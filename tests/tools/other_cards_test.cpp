#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>

#include "cardgen/atom_reader.hpp"
#include "cardgen/fnv_hash.hpp"
#include "cardgen/image_search.hpp"
#include "cardgen/mov_sample_reader.hpp"
#include "common/byte_view.hpp"
#include "support/cards.hpp"

namespace tav::test {
namespace {

using cardgen::ManifestFile;

std::vector<std::uint8_t> ReadWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The file's bytes on the image: its fragments where listed, else the start
// region (which holds a moov-first file whole) and the movie atom.
std::vector<std::uint8_t> FileBytes(const Card& card, const cardgen::MappedImage& image,
                                    const ManifestFile& f) {
    if (!f.fragments.empty()) return card.fragment_bytes(f);
    const auto all = image.bytes();
    const auto take = [&](std::int64_t at, std::int64_t n) {
        if (at < 0 || static_cast<std::uint64_t>(at + n) > all.size())
            return std::vector<std::uint8_t>();
        return std::vector<std::uint8_t>(all.begin() + at, all.begin() + at + n);
    };
    auto bytes = take(f.head_offset, f.head_length);
    if (!f.moov_first) {
        const auto moov = take(f.moov_offset, f.moov_length);
        bytes.insert(bytes.end(), moov.begin(), moov.end());
    }
    return bytes;
}

std::string Brand(const std::vector<std::uint8_t>& file) {
    return file.size() >= 12 ? std::string(file.begin() + 8, file.begin() + 12) : "";
}

std::string VideoEntry(const std::vector<std::uint8_t>& file) {
    const auto clip = cardgen::ReadVideoSamples(ByteView(file));
    return clip && clip->stsd_entry.size() >= 8
               ? std::string(clip->stsd_entry.begin() + 4, clip->stsd_entry.begin() + 8)
               : "";
}

class OtherClipsCard : public ::testing::TestWithParam<std::string> {};

// Every file is an other writer's: untagged, named and described by its
// brand, and whole on the image where the manifest says.
TEST_P(OtherClipsCard, FilesAreOtherWritersAndWholeWhereTheManifestSays) {
    const Card& card = GetCard(GetParam(), "other");
    ASSERT_TRUE(card.ok()) << card.error;
    ASSERT_FALSE(card.files().empty());
    const cardgen::MappedImage image(card.image);
    ASSERT_TRUE(image.ok());
    std::set<std::string> brands, codecs;
    bool moov_first = false;
    for (const ManifestFile& f : card.files()) {
        SCOPED_TRACE(f.name);
        EXPECT_FALSE(f.tagged);
        EXPECT_EQ(f.last_frame_verifies, f.aud) << "delimited frames pass, H.264 and HEVC alike";
        EXPECT_EQ(f.extension, f.brand == "qt  " ? ".mov" : ".mp4");
        std::string upper = f.extension;
        std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
        EXPECT_TRUE(f.name.ends_with(upper));
        if (f.state == "orphan-head" || f.state == "orphan-moov") continue;
        brands.insert(f.brand);
        codecs.insert(f.video_codec);
        if (f.moov_first) {
            moov_first = true;
            EXPECT_EQ(f.head_length, f.length);
            EXPECT_GT(f.moov_offset, f.head_offset);
            EXPECT_LT(f.moov_offset + f.moov_length, f.head_offset + f.length);
        }
        const auto bytes = f.state == "lost-header"
                               ? ReadWhole(card.image.parent_path() / f.original)
                               : FileBytes(card, image, f);
        ASSERT_EQ(static_cast<std::int64_t>(bytes.size()), f.length);
        EXPECT_EQ(cardgen::FnvHex(bytes), f.file_hash);
        EXPECT_EQ(Brand(bytes), f.brand);
        EXPECT_EQ(VideoEntry(bytes), f.video_codec);
        if (f.state == "lost-header") {
            // The reference is the same writer's layout: brand and codecs agree.
            EXPECT_FALSE(f.moov_first);
            const auto reference = ReadWhole(card.image.parent_path() / f.reference);
            EXPECT_EQ(Brand(reference), f.brand);
            EXPECT_EQ(VideoEntry(reference), f.video_codec);
        }
    }
    EXPECT_TRUE(moov_first);
    EXPECT_GE(brands.size(), 2u);
    EXPECT_EQ(codecs, (std::set<std::string>{"avc1", "hvc1"}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, OtherClipsCard,
                         ::testing::Values("raw", "fat32-deleted", "ntfs-deleted", "exfat-deleted",
                                           "fat32-split", "lost-header"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST(MixedClipsCard, AlternatesCameraAndOtherFiles) {
    const Card& card = GetCard("fat32-deleted", "mixed");
    ASSERT_TRUE(card.ok()) << card.error;
    ASSERT_GE(card.files().size(), 4u);
    for (std::size_t n = 0; n < card.files().size(); ++n) {
        const ManifestFile& f = card.files()[n];
        SCOPED_TRACE(f.name);
        EXPECT_EQ(f.tagged, n % 2 == 0);
        if (f.tagged) {
            EXPECT_EQ(f.brand, "qt  ");
            EXPECT_EQ(f.extension, ".mov");
        }
    }
}

}  // namespace
}  // namespace tav::test

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "cardgen/cluster_geometry.hpp"
#include "cardgen/fnv_hash.hpp"
#include "cardgen/image_search.hpp"
#include "cardgen/ntfs_free_placement.hpp"
#include "common/byte_order.hpp"
#include "support/cards.hpp"

namespace tav::test {
namespace {

using cardgen::ClusterGeometry;
using cardgen::Fragment;

class SplitCard : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        card_ = &GetCard(GetParam());
        ASSERT_TRUE(card_->ok()) << card_->error;
        ASSERT_EQ(card_->files().size(), 4u);
        image_.emplace(card_->image);
        ASSERT_TRUE(image_->ok());
        const auto g = cardgen::ReadClusterGeometry(image_->bytes(), 0);
        ASSERT_TRUE(g);
        geometry_ = *g;
    }
    const Card* card_ = nullptr;
    std::optional<cardgen::MappedImage> image_;
    ClusterGeometry geometry_;
};

TEST_P(SplitCard, FragmentsGiveTheWholeClipAtClusterStarts) {
    for (const auto& f : card_->files()) {
        SCOPED_TRACE(f.name);
        ASSERT_FALSE(f.fragments.empty());
        EXPECT_EQ(f.state, "deleted");
        EXPECT_EQ(cardgen::FnvHex(card_->fragment_bytes(f)), f.file_hash);
        EXPECT_EQ(f.head_offset, f.fragments.front().offset);
        for (std::size_t k = 0; k < f.fragments.size(); ++k) {
            EXPECT_TRUE(geometry_.starts_cluster(f.fragments[k].offset)) << k;
            if (k + 1 < f.fragments.size()) {
                EXPECT_EQ(f.fragments[k].length % geometry_.cluster_bytes, 0) << k;
            }
        }
    }
}

TEST_P(SplitCard, ClipsLieInTwoOrThreeRunsApartByOneClusterOrMany) {
    std::set<std::size_t> runs;
    std::set<bool> sound;
    bool single = false, wide = false;
    for (const auto& f : card_->files()) {
        SCOPED_TRACE(f.name);
        runs.insert(f.fragments.size());
        sound.insert(f.sound);
        for (std::size_t k = 1; k < f.fragments.size(); ++k) {
            const Fragment& a = f.fragments[k - 1];
            const std::int64_t gap = f.fragments[k].offset - (a.offset + a.length);
            ASSERT_GT(gap, 0) << "runs follow each other on the card, with room between";
            single |= gap == geometry_.cluster_bytes;
            wide |= gap > geometry_.cluster_bytes;
        }
    }
    EXPECT_EQ(runs, (std::set<std::size_t>{2, 3}));
    EXPECT_EQ(sound.size(), 2u) << "clips with and without a sound track";
    EXPECT_TRUE(single && wide);
}

// Per cluster from the first on: whether the volume's allocation marks it in use.
std::vector<bool> ClusterUse(const Card& card, std::span<const std::uint8_t> disk,
                             const ClusterGeometry& g) {
    const std::uint8_t* boot = disk.data();
    const auto clusters = static_cast<std::size_t>(
        (static_cast<std::int64_t>(disk.size()) - g.data_offset) / g.cluster_bytes);
    std::vector<bool> used(clusters);
    if (card.manifest.file_system == "NTFS") {
        auto bitmap = cardgen::ReadNtfsClusterUse(card.image);
        return bitmap ? *bitmap : used;
    }
    if (card.manifest.file_system == "FAT32") {
        const std::uint8_t* fat = boot + load_le16(boot + 14) * load_le16(boot + 11);
        for (std::size_t k = 0; k < clusters; ++k)
            used[k] = (load_le32(fat + 4 * (k + 2)) & 0x0FFFFFFFu) != 0;
        return used;
    }
    // exFAT: the allocation bitmap, found by its entry in the root directory.
    const auto cluster = [&](std::uint32_t n) {
        return disk.data() + g.data_offset + (n - 2) * g.cluster_bytes;
    };
    const std::uint8_t* root = cluster(load_le32(boot + 96));
    for (std::int64_t e = 0; e < g.cluster_bytes; e += 32)
        if (root[e] == 0x81) {
            const std::uint8_t* bits = cluster(load_le32(root + e + 20));
            for (std::size_t k = 0; k < clusters; ++k) used[k] = bits[k / 8] >> (k % 8) & 1;
        }
    return used;
}

TEST_P(SplitCard, KeptFilesFillTheGapsAndTheClipsAreFree) {
    const bool kept = GetParam() != "fat32-split-formatted";  // formatting frees them too
    const auto used = ClusterUse(*card_, image_->bytes(), geometry_);
    const auto index = [&](std::int64_t offset) {
        return static_cast<std::size_t>((offset - geometry_.data_offset) / geometry_.cluster_bytes);
    };
    for (const auto& f : card_->files()) {
        SCOPED_TRACE(f.name);
        for (std::size_t k = 0; k < f.fragments.size(); ++k) {
            const Fragment& run = f.fragments[k];
            for (std::int64_t at = run.offset; at < run.offset + run.length;
                 at += geometry_.cluster_bytes) {
                ASSERT_FALSE(used.at(index(at))) << "deleted clip, cluster at " << at;
            }
            const std::int64_t next =
                k + 1 < f.fragments.size() ? f.fragments[k + 1].offset : run.offset + run.length;
            for (std::int64_t at = run.offset + run.length; at < next;
                 at += geometry_.cluster_bytes) {
                ASSERT_EQ(used.at(index(at)), kept) << "filler between runs, cluster at " << at;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, SplitCard,
                         ::testing::Values("fat32-split", "fat32-split-formatted", "exfat-split",
                                           "ntfs-split"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
}  // namespace tav::test

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>

#include "cardgen/fnv_hash.hpp"
#include "cardgen/image_search.hpp"
#include "cardgen/ntfs_free_placement.hpp"
#include "cardgen/run_process.hpp"
#include "common/byte_view.hpp"
#include "support/cards.hpp"
#include "support/temp_dir.hpp"

namespace tav::test {
namespace {

using cardgen::ManifestFile;

std::string HashAt(const cardgen::MappedImage& image, std::int64_t offset, std::int64_t length) {
    const auto bytes = image.bytes();
    if (offset < 0 || length < 0 || static_cast<std::uint64_t>(offset + length) > bytes.size())
        return "out of range";
    return cardgen::FnvHex(
        bytes.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length)));
}

class EveryCard : public ::testing::TestWithParam<std::string> {};

TEST_P(EveryCard, HoldsWhatItsManifestSays) {
    const Card& card = GetCard(GetParam());
    ASSERT_TRUE(card.ok()) << card.error;
    ASSERT_FALSE(card.files().empty());
    EXPECT_EQ(card.manifest.kind, GetParam());
    const cardgen::MappedImage image(card.image);
    ASSERT_TRUE(image.ok());
    EXPECT_EQ(static_cast<std::int64_t>(image.bytes().size()), card.manifest.image_size);
    for (const ManifestFile& f : card.files()) {
        SCOPED_TRACE(f.name);
        EXPECT_EQ(f.head_offset >= 0, f.state != "orphan-moov");
        EXPECT_EQ(f.moov_offset >= 0, f.state != "orphan-head");
        if (f.head_offset >= 0) {
            EXPECT_EQ(f.head_offset % 512, 0) << "a start region begins a sector";
            EXPECT_EQ(HashAt(image, f.head_offset, f.head_length), f.head_hash);
        }
        if (f.moov_offset >= 0) {
            EXPECT_EQ(HashAt(image, f.moov_offset, f.moov_length), f.moov_hash);
        }
        if (f.head_offset >= 0 && f.moov_offset == f.head_offset + f.head_length) {
            EXPECT_EQ(HashAt(image, f.head_offset, f.length), f.file_hash);
        }
        EXPECT_EQ(f.length, f.head_length + f.moov_length);
        EXPECT_EQ(f.last_frame_verifies, f.aud);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, EveryCard,
                         ::testing::Values("raw", "fat32-deleted", "fat32-formatted",
                                           "ntfs-deleted", "mbr", "demo", "large"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

std::set<std::string> Names(const std::vector<ManifestFile>& files) {
    std::set<std::string> names;
    for (const auto& f : files) names.insert(f.name);
    return names;
}

// The file names a directory listing shows (mdir prints "NAME     EXT").
std::set<std::string> Listed(const std::string& listing, const std::vector<ManifestFile>& files) {
    std::set<std::string> names;
    for (const auto& f : files) {
        std::string dos = f.name;
        const auto dot = dos.find('.');
        if (dot != std::string::npos) dos = dos.substr(0, dot) + " " + dos.substr(dot + 1);
        if (listing.find(dos) != std::string::npos || listing.find(f.name) != std::string::npos)
            names.insert(f.name);
    }
    return names;
}

std::string Mdir(const Card& card) {
    std::string target = card.image.string();
    if (card.manifest.partition_offset > 0)
        target += "@@" + std::to_string(card.manifest.partition_offset);
    const auto r = cardgen::RunProcess({"env", "MTOOLS_SKIP_CHECK=1", "mdir", "-i", target, "::"});
    EXPECT_TRUE(r.ok() || r.output.find("No files") != std::string::npos) << r.output;
    return r.output;
}

TEST(FatCards, DeletedFilesAreGoneFromTheDirectory) {
    for (const char* kind : {"fat32-deleted", "mbr", "demo"}) {
        SCOPED_TRACE(kind);
        const Card& card = GetCard(kind);
        ASSERT_TRUE(card.ok()) << card.error;
        EXPECT_FALSE(card.with_state("deleted").empty());
        EXPECT_EQ(Listed(Mdir(card), card.files()), Names(card.with_state("in-use")));
    }
}

TEST(FatCards, FormattedCardListsNothingButKeepsTheData) {
    const Card& card = GetCard("fat32-formatted");
    ASSERT_TRUE(card.ok()) << card.error;
    EXPECT_TRUE(Listed(Mdir(card), card.files()).empty());
    EXPECT_EQ(card.with_state("deleted").size(), card.files().size());
    for (const auto& f : card.files()) EXPECT_GE(f.moov_offset, 0) << f.name;
}

TEST(NtfsCard, DeletedFilesAreGoneFromTheDirectory) {
    const Card& card = GetCard("ntfs-deleted");
    ASSERT_TRUE(card.ok()) << card.error;
    EXPECT_EQ(card.manifest.file_system, "NTFS");
    EXPECT_FALSE(card.with_state("deleted").empty());
    const auto r = cardgen::RunProcess({"ntfsls", "-f", card.image.string()});
    ASSERT_TRUE(r.ok()) << r.output;
    EXPECT_EQ(Listed(r.output, card.files()), Names(card.with_state("in-use")));
    const auto used = cardgen::ReadNtfsClusterUse(card.image);
    ASSERT_TRUE(used) << used.error();
    for (const auto& f : card.files())
        EXPECT_EQ((*used)[static_cast<std::size_t>(f.head_offset / 4096)], f.state == "in-use")
            << f.name;
}

TEST(MbrCard, PartitionTablePointsAtTheFileSystem) {
    const Card& card = GetCard("mbr");
    ASSERT_TRUE(card.ok()) << card.error;
    const cardgen::MappedImage image(card.image);
    const ByteView disk(image.bytes());
    EXPECT_EQ(disk.u8(510), 0x55);
    EXPECT_EQ(disk.u8(511), 0xAA);
    EXPECT_EQ(disk.u8(446 + 4), 0x0C);
    EXPECT_EQ(disk.le32(446 + 8), 2048u);
    EXPECT_EQ(card.manifest.partition_offset, 2048 * 512);
    EXPECT_TRUE(disk.matches(2048 * 512 + 82, "FAT32   "));
    EXPECT_EQ(disk.le32(2048 * 512 + 28), 2048u) << "hidden sectors";
    for (const auto& f : card.files()) EXPECT_GT(f.head_offset, 2048 * 512) << f.name;
}

TEST(RawCard, HasSplitAndOrphanedParts) {
    const Card& card = GetCard("raw");
    ASSERT_TRUE(card.ok()) << card.error;
    EXPECT_EQ(card.manifest.file_system, "Raw");
    ASSERT_EQ(card.with_state("orphan-head").size(), 1u);
    ASSERT_EQ(card.with_state("orphan-moov").size(), 1u);
    int split = 0;
    std::set<std::string> variants;
    for (const auto& f : card.files()) {
        if (f.split) {
            ++split;
            EXPECT_NE(f.moov_offset % 512, 0) << "moov inside a sector";
            EXPECT_GT(f.moov_offset - (f.head_offset + f.head_length), 1 << 20);
        }
        if (f.mdat64) variants.insert("mdat64");
        if (f.co64) variants.insert("co64");
        if (f.sound) variants.insert("sound");
        if (!f.cnmn) variants.insert("no-cnmn");
        if (!f.aud) variants.insert("no-aud");
    }
    EXPECT_EQ(split, 1);
    EXPECT_EQ(variants.size(), 5u);
    EXPECT_NE(card.with_state("orphan-moov")[0].moov_offset % 512, 0);
}

TEST(DemoCard, ThreeDeletedVideosThatDecode) {
    const Card& card = GetCard("demo");
    ASSERT_TRUE(card.ok()) << card.error;
    ASSERT_EQ(card.with_state("deleted").size(), 3u);
    std::set<std::string> dates;
    const cardgen::MappedImage image(card.image);
    TempDir dir;
    for (const auto& f : card.files()) {
        SCOPED_TRACE(f.name);
        dates.insert(f.date);
        EXPECT_TRUE(f.last_frame_verifies);
        EXPECT_GE(f.frames, 50);
        EXPECT_LE(f.frames, 75);
        ASSERT_EQ(f.moov_offset, f.head_offset + f.head_length);
        const auto bytes = image.bytes().subspan(static_cast<std::size_t>(f.head_offset),
                                                 static_cast<std::size_t>(f.length));
        const auto path = dir / f.name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        const auto r = cardgen::RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-xerror", "-i",
                                            path.string(), "-f", "null", "-"});
        EXPECT_TRUE(r.ok() && r.output.empty()) << r.output;
    }
    EXPECT_EQ(dates.size(), 3u);
}

}  // namespace
}  // namespace tav::test

#include <gtest/gtest.h>

#include <fstream>

#include "cardgen/card.hpp"
#include "cardgen/fnv_hash.hpp"
#include "cardgen/image_search.hpp"
#include "cardgen/ntfs_free_placement.hpp"
#include "cardgen/ntfs_layout.hpp"
#include "cardgen/run_process.hpp"
#include "support/temp_dir.hpp"

namespace tav::cardgen {
namespace {

TEST(NtfsDataRuns, DecodesLengthsAndSignedDeltas) {
    // 0x18 clusters at 0x5634, then 0x10 clusters 0x20 before it, then end.
    const std::uint8_t runs[] = {0x21, 0x18, 0x34, 0x56, 0x11, 0x10, 0xE0, 0x00};
    const auto r = ParseDataRuns(ByteView(runs, sizeof runs));
    ASSERT_TRUE(r);
    ASSERT_EQ(r->size(), 2u);
    EXPECT_EQ((*r)[0].first_cluster, 0x5634);
    EXPECT_EQ((*r)[0].clusters, 0x18);
    EXPECT_EQ((*r)[1].first_cluster, 0x5634 - 0x20);
    EXPECT_EQ((*r)[1].clusters, 0x10);
}

TEST(NtfsDataRuns, RejectsTruncatedAndNegativeRuns) {
    const std::uint8_t cut[] = {0x21, 0x18, 0x34};
    EXPECT_FALSE(ParseDataRuns(ByteView(cut, sizeof cut)));
    const std::uint8_t unterminated[] = {0x11, 0x01, 0x05};
    EXPECT_FALSE(ParseDataRuns(ByteView(unterminated, sizeof unterminated)));
    const std::uint8_t before_zero[] = {0x11, 0x01, 0xF0, 0x00};  // cluster -16
    EXPECT_FALSE(ParseDataRuns(ByteView(before_zero, sizeof before_zero)));
}

TEST(NtfsBootSector, ReadsGeometryAndRejectsNonsense) {
    std::uint8_t s[512] = {};
    std::memcpy(s + 3, "NTFS    ", 8);
    s[11] = 0x00, s[12] = 0x02;  // 512 bytes per sector
    s[13] = 8;
    s[40] = 0x00, s[41] = 0x00, s[42] = 0x03;  // 196608 sectors
    s[48] = 4;                                 // MFT at cluster 4
    s[64] = 0xF6;                              // -10: 1024-byte records
    auto g = ParseNtfsBootSector(ByteView(s, sizeof s));
    ASSERT_TRUE(g);
    EXPECT_EQ(g->bytes_per_cluster, 4096u);
    EXPECT_EQ(g->total_clusters, 24576);
    EXPECT_EQ(g->mft_offset, 16384);
    EXPECT_EQ(g->record_size, 1024u);
    s[13] = 0;
    EXPECT_FALSE(ParseNtfsBootSector(ByteView(s, sizeof s)));
    s[13] = 8;
    s[64] = 0x80;  // 2^128 bytes
    EXPECT_FALSE(ParseNtfsBootSector(ByteView(s, sizeof s)));
    EXPECT_FALSE(ParseNtfsBootSector(ByteView(s, 20)));
}

TEST(NtfsFixups, RestoresSectorEndsAndRejectsTornRecords) {
    std::vector<std::uint8_t> rec(1024, 0);
    std::memcpy(rec.data(), "FILE", 4);
    rec[4] = 48, rec[6] = 3;      // array at 48, check value + 2 entries
    rec[48] = 0x07, rec[49] = 0;  // check value
    rec[50] = 0xAA, rec[51] = 0xBB;
    rec[52] = 0xCC, rec[53] = 0xDD;
    rec[510] = 0x07, rec[1022] = 0x07;
    ASSERT_TRUE(ApplyFixups(rec, 512));
    EXPECT_EQ(rec[510], 0xAA);
    EXPECT_EQ(rec[511], 0xBB);
    EXPECT_EQ(rec[1022], 0xCC);
    EXPECT_EQ(rec[1023], 0xDD);
    rec[510] = 0x08;  // torn: no longer the check value
    EXPECT_FALSE(ApplyFixups(rec, 512));
}

TEST(NtfsWithoutFuse, FilesLandInFreeClustersAsDeletedFiles) {
    test::TempDir dir;
    CardRequest r;
    r.kind = "ntfs-deleted";
    r.out = dir / "ntfs.img";
    r.synthetic = true;
    r.no_fuse = true;
    r.files = 3;
    const auto m = GenerateCard(r);
    ASSERT_TRUE(m) << m.error();
    const auto used = ReadNtfsClusterUse(r.out);
    ASSERT_TRUE(used) << used.error();
    EXPECT_TRUE((*used)[0]) << "the boot sector's cluster is in use";
    const MappedImage image(r.out);
    for (const ManifestFile& f : m->files) {
        SCOPED_TRACE(f.name);
        EXPECT_EQ(f.state, "deleted");
        for (std::int64_t c = f.head_offset / 4096; c <= (f.head_offset + f.length - 1) / 4096; ++c)
            EXPECT_FALSE((*used)[static_cast<std::size_t>(c)]) << "cluster " << c;
        EXPECT_EQ(FnvHex(image.bytes().subspan(static_cast<std::size_t>(f.head_offset),
                                               static_cast<std::size_t>(f.length))),
                  f.file_hash);
    }
    const auto ls = RunProcess({"ntfsls", "-f", r.out.string()});
    ASSERT_TRUE(ls.ok()) << ls.output;
    EXPECT_EQ(ls.output.find("MVI_"), std::string::npos);
}

}  // namespace
}  // namespace tav::cardgen

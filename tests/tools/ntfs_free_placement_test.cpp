#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>

#include "cardgen/card.hpp"
#include "cardgen/fnv_hash.hpp"
#include "cardgen/image_search.hpp"
#include "cardgen/ntfs_free_placement.hpp"
#include "cardgen/run_process.hpp"
#include "support/temp_dir.hpp"

namespace tav::cardgen {
namespace {

// The free-cluster count the ntfs-3g tools read from the same $Bitmap.
std::int64_t FreeClustersPerNtfsTools(const std::filesystem::path& image) {
    const auto info = RunProcess({"ntfscluster", "-f", "--info", image.string()});
    std::smatch m;
    if (!info.ok() ||
        !std::regex_search(info.output, m, std::regex(R"(clusters of free space\s*:\s*(\d+))")))
        return -1;
    return std::stoll(m[1]);
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
    EXPECT_EQ(std::count(used->begin(), used->end(), false), FreeClustersPerNtfsTools(r.out));
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

    // Cut short, the missing tail would read as zeros, that is as free clusters.
    std::filesystem::resize_file(r.out, std::filesystem::file_size(r.out) / 2);
    EXPECT_FALSE(ReadNtfsClusterUse(r.out));
    EXPECT_FALSE(PlaceInFreeClusters(r.out, {Bytes(4096, 0x55)}));
}

TEST(NtfsWithoutFuse, RefusesImagesThatAreNotNtfs) {
    test::TempDir dir;
    const auto zeros = dir / "zeros.img";
    { std::ofstream(zeros, std::ios::binary) << std::string(1 << 20, '\0'); }
    EXPECT_FALSE(ReadNtfsClusterUse(zeros));
    EXPECT_FALSE(PlaceInFreeClusters(zeros, {Bytes(4096, 0x55)}));
    EXPECT_FALSE(ReadNtfsClusterUse(dir / "missing.img"));
}

}  // namespace
}  // namespace tav::cardgen

// Clips over 4 GiB (64-bit mdat size, co64 chunk offsets) on a sparse exFAT
// card: `tavorine-mov-cli recover` saves them byte for byte.

#include <gtest/gtest.h>

#include <fstream>

#include "cardgen/fnv_hash.hpp"
#include "support/cards.hpp"
#include "support/shell_run.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

namespace fs = std::filesystem;

// FNV-1a-64 of the file's first `length` bytes, read a block at a time;
// pages of zeros (most of the big clip) are hashed without a byte loop.
std::string HashPrefix(const fs::path& path, std::int64_t length) {
    constexpr std::size_t kPage = 4096;
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> block(std::size_t{1} << 20);
    const std::vector<std::uint8_t> zeros(kPage, 0);
    cardgen::Fnv1a64 hash;
    for (std::int64_t left = length; left > 0;) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(left, block.size()));
        if (!in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(want)))
            return "short";
        for (std::size_t at = 0; at < want; at += kPage) {
            const std::size_t n = std::min(kPage, want - at);
            if (std::equal(block.begin() + at, block.begin() + at + n, zeros.begin()))
                hash.add_zeros(n);
            else
                hash.add(std::span(block).subspan(at, n));
        }
        left -= static_cast<std::int64_t>(want);
    }
    return hash.hex();
}

TEST(HugeCardCli, DeletedClipOverFourGibComesBackByteExact) {
    const test::Card& card = test::GetCard("huge-exfat");
    ASSERT_TRUE(card.ok()) << card.error;
    const auto deleted = card.with_state("deleted");
    ASSERT_TRUE(std::any_of(deleted.begin(), deleted.end(), [](const auto& f) {
        return f.length > (std::int64_t{1} << 32) && f.mdat64 && f.co64;
    }));
    test::TempDir dir;
    // The copy needs the clip's room on the disk that holds the temporary folder.
    std::error_code ec;
    const auto space = fs::space(dir.path(), ec);
    if (ec || space.available < static_cast<std::uintmax_t>(card.manifest.image_size))
        GTEST_SKIP() << "less free space than " << card.manifest.image_size << " bytes";
    const fs::path out = dir / "out";
    const auto run = test::RunShell(test::ShellQuote(TAV_CLI_EXE) + " recover " +
                                        test::ShellQuote(card.image.string()) + " --out " +
                                        test::ShellQuote(out.string()) + " --no-checkpoint --quiet",
                                    dir.path());
    ASSERT_EQ(run.exit_code, 0) << run.err << run.out;
    // Saved as VYR-<number>-<frames>-<date time>.mov, the number in scan order.
    std::map<std::string, fs::path> by_suffix;
    for (const auto& entry : fs::directory_iterator(out)) {
        const std::string name = entry.path().filename().string();
        by_suffix[name.substr(name.find('-', 4))] = entry.path();
    }
    EXPECT_EQ(by_suffix.size(), deleted.size());
    for (const auto& f : deleted) {
        SCOPED_TRACE(f.name);
        std::string suffix = "-" + std::to_string(f.frames) + "-" + f.date + " " + f.time + ".mov";
        std::replace(suffix.begin(), suffix.end(), ':', '-');
        ASSERT_TRUE(by_suffix.contains(suffix)) << suffix;
        EXPECT_EQ(HashPrefix(by_suffix[suffix], f.length), f.file_hash);
    }
}

}  // namespace
}  // namespace tav

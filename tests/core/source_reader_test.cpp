// The read-only sector reader: whole zero-filled blocks whatever the medium
// holds, 64-bit offsets, and open failures that say why.

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "platform/source_reader.hpp"
#include "support/fs_image.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

std::vector<std::uint8_t> Pattern(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return bytes;
}

TEST(SourceReader, ReadsAtByteOffsetsAndReportsTheSize) {
    test::TempDir dir;
    const auto path = dir / "img";
    test::MakeSparseFile(path, 0);
    test::WriteBytes(path, 0, Pattern(4096));
    auto source = SourceReader::open(path.string());
    ASSERT_TRUE(source.has_value());
    EXPECT_EQ(source->size(), 4096);
    std::vector<std::uint8_t> block(512, 0xEE);
    EXPECT_EQ(source->read_at(1024, block), 512u);
    const auto all = Pattern(4096);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), all.begin() + 1024));
}

TEST(SourceReader, TheLastStepPastTheEndReadsAsZeros) {
    test::TempDir dir;
    const auto path = dir / "img";
    test::MakeSparseFile(path, 0);
    test::WriteBytes(path, 0, Pattern(1000 * 512));  // not a multiple of 128 sectors
    auto source = SourceReader::open(path.string());
    ASSERT_TRUE(source.has_value());
    std::vector<std::uint8_t> block(66048, 0xEE);
    EXPECT_EQ(source->read_at(896 * 512, block), 104u * 512);
    EXPECT_EQ(block[104 * 512 - 1], Pattern(1000 * 512).back());
    EXPECT_TRUE(std::all_of(block.begin() + 104 * 512, block.end(), [](auto b) { return b == 0; }));
    EXPECT_EQ(source->read_at(1 << 30, block), 0u);
    EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](auto b) { return b == 0; }));
    EXPECT_EQ(source->read_at(-512, block), 0u);
}

TEST(SourceReader, OffsetsBeyondFourGigabytes) {
    test::TempDir dir;
    const auto path = dir / "big";
    const std::int64_t at = (5LL << 30) + 512;
    test::MakeSparseFile(path, at + 512);
    test::WriteBytes(path, at, Pattern(512));
    auto source = SourceReader::open(path.string());
    ASSERT_TRUE(source.has_value());
    EXPECT_EQ(source->size(), at + 512);
    std::vector<std::uint8_t> block(512);
    ASSERT_EQ(source->read_at(at, block), 512u);
    EXPECT_EQ(block, Pattern(512));
}

TEST(SourceReader, OpenFailuresCarryTheReason) {
    test::TempDir dir;
    const auto missing = SourceReader::open((dir / "nothing-here").string());
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().code, ENOENT);
    EXPECT_FALSE(missing.error().reason.empty());
    EXPECT_EQ(missing.error().path, (dir / "nothing-here").string());

    const auto folder = SourceReader::open(dir.path().string());
    ASSERT_FALSE(folder.has_value());
    EXPECT_EQ(folder.error().code, EISDIR);
}

TEST(SourceReader, NeverWritesTheSource) {
    test::TempDir dir;
    const auto path = dir / "img";
    test::MakeSparseFile(path, 0);
    test::WriteBytes(path, 0, Pattern(2048));
    const auto before = std::filesystem::last_write_time(path);
    {
        auto source = SourceReader::open(path.string());
        ASSERT_TRUE(source.has_value());
        SourceReader moved = std::move(*source);
        std::vector<std::uint8_t> block(4096);
        EXPECT_EQ(moved.read_at(0, block), 2048u);
    }
    EXPECT_EQ(test::ReadBytes(path, 0, 4096), Pattern(2048));
    EXPECT_EQ(std::filesystem::last_write_time(path), before);
}

}  // namespace
}  // namespace tav

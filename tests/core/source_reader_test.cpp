// The read-only sector reader: whole zero-filled blocks whatever the medium
// holds, 64-bit offsets, and open failures that say why.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

#include "platform/source_reader.hpp"
#include "support/faulty_device.hpp"
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
    EXPECT_EQ(source->read_at(1024, block).bytes, 512u);
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
    EXPECT_EQ(source->read_at(896 * 512, block).bytes, 104u * 512);
    EXPECT_EQ(block[104 * 512 - 1], Pattern(1000 * 512).back());
    EXPECT_TRUE(std::all_of(block.begin() + 104 * 512, block.end(), [](auto b) { return b == 0; }));
    EXPECT_EQ(source->read_at(1 << 30, block).bytes, 0u);
    EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](auto b) { return b == 0; }));
    EXPECT_EQ(source->read_at(-512, block).bytes, 0u);
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
    ASSERT_EQ(source->read_at(at, block).bytes, 512u);
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
        EXPECT_EQ(moved.read_at(0, block).bytes, 2048u);
    }
    EXPECT_EQ(test::ReadBytes(path, 0, 4096), Pattern(2048));
    EXPECT_EQ(std::filesystem::last_write_time(path), before);
}

// A failing read is narrowed down to the sectors that really fail: only
// they read as zeros, everything else arrives; short reads lose nothing.
TEST(SourceReaderFaults, OnlyFailingSectorsAreLost) {
    test::TempDir dir;
    const auto path = dir / "img";
    const auto all = Pattern(4 << 20);
    test::MakeSparseFile(path, 0);
    test::WriteBytes(path, 0, all);
    const struct {
        const char* name;
        test::Faults faults;
        std::int64_t offset;
        std::size_t length;
        ReadOptions options;
        std::vector<ByteRange> unreadable;
        std::optional<std::int64_t> gave_up;
    } cases[] = {
        {"one sector in a 1 MiB read",
         {test::Sectors({700 * 512}), 0},
         0,
         1 << 20,
         {},
         {{700 * 512, 512}},
         {}},
        {"two apart, unaligned read",
         {test::Sectors({65536, 3 * 65536 + 512}), 0},
         100,
         300000,
         {},
         {{65536, 512}, {3 * 65536 + 512, 512}},
         {}},
        {"short reads only", {{}, 1000}, 12345, 200000, {}, {}, {}},
        {"short reads and a bad area", {{{8192, 2048}}, 700}, 0, 65536, {}, {{8192, 2048}}, {}},
        {"a run of failures gives up",
         {{{65536, 100 * 512}}, 0},
         0,
         1 << 20,
         {8},
         {{65536, 8 * 512}},
         65536 + 8 * 512},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const test::FaultyOpener opener{c.faults};
        const SourceReader source = opener.open(path.string());
        std::vector<std::uint8_t> buf(c.length, 0xEE);
        const ReadReport report = source.read_at(c.offset, buf, c.options);
        EXPECT_EQ(report.unreadable, c.unreadable);
        EXPECT_EQ(report.gave_up, c.gave_up);
        const std::int64_t end = c.offset + static_cast<std::int64_t>(c.length);
        const std::int64_t tried_end = c.gave_up.value_or(end);
        std::int64_t good = 0;
        for (std::int64_t at = c.offset; at < end; ++at) {
            const bool lost =
                at >= tried_end ||
                std::any_of(c.unreadable.begin(), c.unreadable.end(),
                            [&](const ByteRange& r) { return at >= r.offset && at < r.end(); });
            const auto byte = buf[static_cast<std::size_t>(at - c.offset)];
            ASSERT_EQ(byte, lost ? 0 : all[static_cast<std::size_t>(at)]) << at;
            good += lost ? 0 : 1;
        }
        EXPECT_EQ(static_cast<std::int64_t>(report.bytes), good);
    }
}

// Only images and block devices are sources: a character device or a pipe
// would be read without end, and opening a pipe must not hang.
TEST(SourceReaderFaults, OnlyFilesAndBlockDevicesOpen) {
    test::TempDir dir;
    const auto fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {std::string("/dev/zero"), fifo.string()}) {
        const auto source = SourceReader::open(path);
        ASSERT_FALSE(source.has_value()) << path;
        EXPECT_FALSE(source.error().reason.empty());
    }
}

}  // namespace
}  // namespace tav

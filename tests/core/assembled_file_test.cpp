#include "recovery/assembled_file.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "core/recovery_test_support.hpp"
#include "recovery/rebuilt_copy.hpp"
#include "support/faulty_device.hpp"
#include "support/fragment_ranges.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

using test::Ranges;

constexpr std::int64_t kImageSize = 1 << 20;

std::vector<std::uint8_t> Saved(const SourceReader& source, const FragmentRanges& r) {
    test::MemorySink sink;
    EXPECT_TRUE(AssembleFragments(source, sink, r, {}).has_value());
    return sink.bytes;
}

// The view read in steps of `step` bytes from `from` to the end.
std::vector<std::uint8_t> ReadInSteps(const AssembledFile& file, std::int64_t from,
                                      std::size_t step) {
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> buf(step);
    for (std::int64_t at = from;;) {
        const std::size_t n = file.read(at, buf);
        if (n == 0) break;
        out.insert(out.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n));
        at += static_cast<std::int64_t>(n);
    }
    return out;
}

class AssembledFileTest : public ::testing::Test {
  protected:
    void SetUp() override { test::WritePatternImage(image(), kImageSize); }
    std::string image() const { return (dir_ / "card.img").string(); }
    test::TempDir dir_;
};

// Every layout the save knows, read whole and in odd steps that cross piece
// boundaries, from the start and from inside: the very bytes the save writes.
TEST_F(AssembledFileTest, ReadsTheBytesTheSaveWrites) {
    const struct {
        FragmentRanges ranges;
        const char* why;
    } cases[] = {
        {Ranges({{"HEAD", 4096, 4096 + 3000}}), "one fragment with its margin"},
        {Ranges({{"moov", 1392, 1392 + 700}}), "a movie header alone, unaligned"},
        {Ranges({{"HEAD", 65536, 65536 + 70000}, {"moov", 700 * 512 + 392, 700 * 512 + 2000}}),
         "start region and unaligned movie header"},
        {Ranges({{"HEAD", 0, 1000}, {"mdat", 8192, 8192}, {"moov", 9000, 9500}}),
         "an empty piece between two"},
        {Ranges({{"HEAD", kImageSize - 700, kImageSize - 100}}), "margin clipped at the end"},
        {Ranges({}), "no fragment"},
    };
    const SourceReader source = *SourceReader::open(image());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        const auto expected = Saved(source, c.ranges);
        const auto file = AssembledFile::open(source, c.ranges);
        ASSERT_TRUE(file.has_value());
        EXPECT_EQ(file->size(), static_cast<std::int64_t>(expected.size()));
        EXPECT_EQ(ReadInSteps(*file, 0, 1 << 20), expected);
        EXPECT_EQ(ReadInSteps(*file, 0, 333), expected);
        if (expected.size() > 1001) {
            EXPECT_EQ(ReadInSteps(*file, 1001, 4096),
                      std::vector<std::uint8_t>(expected.begin() + 1001, expected.end()));
        }
    }
}

TEST_F(AssembledFileTest, ReadsOutsideTheFileGiveNothing) {
    const SourceReader source = *SourceReader::open(image());
    const auto file = AssembledFile::open(source, Ranges({{"HEAD", 0, 1000}}));
    ASSERT_TRUE(file.has_value());
    std::vector<std::uint8_t> buf(64, 0xEE);
    EXPECT_EQ(file->read(-1, buf), 0u);
    EXPECT_EQ(file->read(file->size(), buf), 0u);
    EXPECT_EQ(file->read(file->size() - 10, buf), 10u);  // only what the file holds
    EXPECT_EQ(buf[10], 0xEE);                            // and nothing written past it
}

// A failing sector reads as zeros, as in the saved file, and costs only itself.
TEST_F(AssembledFileTest, UnreadableSectorsReadAsTheSaveWritesThem) {
    test::FaultyOpener faulty{{test::Sectors({66 * 1024}), 0}};
    const SourceReader source = faulty.open(image());
    const auto r = Ranges({{"HEAD", 65536, 65536 + 5000}, {"moov", 200000, 201000}});
    const auto expected = Saved(source, r);
    ASSERT_EQ(std::count(expected.begin() + 2048, expected.begin() + 2560, 0), 512);
    const auto file = AssembledFile::open(source, r);
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(ReadInSteps(*file, 0, 700), expected);
}

// A rebuilt file: its pieces, the patched size and the new header after them,
// read across every seam as WriteRebuiltFile writes them.
TEST_F(AssembledFileTest, RebuiltFilesReadAsTheSaveWritesThem) {
    const SourceReader source = *SourceReader::open(image());
    RebuiltFile f;
    f.source_offset = 4096;
    f.copy_length = 30000;
    f.patch_at = 8;
    f.patch = {0xAA, 0xBB, 0xCC, 0xDD};
    f.pieces = {{20000, 500000}};
    f.moov.assign(777, 0x6D);
    test::MemorySink sink;
    ASSERT_TRUE(WriteRebuiltFile(source, sink, f, {}).has_value());
    const auto file = AssembledFile::open(source, f);
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->size(), static_cast<std::int64_t>(sink.bytes.size()));
    for (const std::size_t step : {7u, 4096u, 65536u})
        EXPECT_EQ(ReadInSteps(*file, 0, step), sink.bytes) << step;
    f.pieces = {{20000, kImageSize}};
    EXPECT_EQ(AssembledFile::open(source, f).error().kind, CopyFailure::BadLength);
}

TEST_F(AssembledFileTest, RangesTheSaveRefusesAreRefused) {
    const SourceReader source = *SourceReader::open(image());
    const auto past_end = AssembledFile::open(source, Ranges({{"HEAD", 0, kImageSize + 1}}));
    ASSERT_FALSE(past_end.has_value());
    EXPECT_EQ(past_end.error().kind, CopyFailure::BadLength);
    FragmentRanges mismatch = Ranges({{"HEAD", 0, 10}});
    mismatch.end_offsets.clear();
    EXPECT_EQ(AssembledFile::open(source, mismatch).error().kind, CopyFailure::ListMismatch);
}

}  // namespace
}  // namespace tav

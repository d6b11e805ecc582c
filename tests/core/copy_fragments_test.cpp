#include "recovery/copy_fragments.hpp"

#include <gtest/gtest.h>

#include "core/recovery_test_support.hpp"
#include "support/fragment_ranges.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

using test::MemorySink;
using test::PatternBytes;
using test::Ranges;

constexpr std::int64_t kImageSize = 4 << 20;

class CopyFragmentsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::WritePatternImage(dir_ / "card.img", kImageSize);
        auto opened = SourceReader::open((dir_ / "card.img").string());
        ASSERT_TRUE(opened.has_value());
        source_.emplace(std::move(*opened));
    }

    std::vector<std::uint8_t> Copy(const FragmentRanges& r,
                                   std::vector<std::int64_t>* marks = nullptr) {
        MemorySink sink;
        const bool ok = CopyFragments(*source_, sink, r, [&](std::int64_t n) {
            if (marks) marks->push_back(n);
        });
        EXPECT_TRUE(ok);
        return sink.bytes;
    }

    static std::vector<std::uint8_t> Concat(std::vector<std::uint8_t> a,
                                            const std::vector<std::uint8_t>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }

    test::TempDir dir_;
    std::optional<SourceReader> source_;
};

// One fragment: (E/512 + 2) units from the start, whatever the start type.
TEST_F(CopyFragmentsTest, OneFragmentKeepsTwoUnitMargin) {
    std::vector<std::int64_t> marks;
    EXPECT_EQ(Copy(Ranges({{"HEAD", 4096, 4096 + 2 * 512 - 1}}), &marks),
              PatternBytes(4096, 3 * 512));
    EXPECT_EQ(marks, std::vector<std::int64_t>{3 * 512});  // a lone block reports its length

    // A movie header alone is read from its own (unaligned) start.
    EXPECT_EQ(Copy(Ranges({{"moov", 1000 + 392, 1000 + 392 + 700}})),
              PatternBytes(1000 + 392, 3 * 512));
}

TEST_F(CopyFragmentsTest, OneFragmentOverSeveralBlocksReportsBlockStarts) {
    std::vector<std::int64_t> marks;
    const std::int64_t start = 8192, e = 2 * 65536 + 100;
    const auto out = Copy(Ranges({{"HEAD", start, start + e}}), &marks);
    const std::int64_t length = (e / 512 + 2) * 512;
    EXPECT_EQ(out, PatternBytes(start, length));
    EXPECT_EQ(marks, (std::vector<std::int64_t>{start, start + 65536, start + length}));
}

// Several fragments: the start region ends exactly at the end of its media
// data, so the movie header lands where its chunk offsets expect it.
TEST_F(CopyFragmentsTest, StartRegionWritesExactlyItsLength) {
    const struct {
        std::int64_t e;
        const char* why;
    } cases[] = {
        {3 * 65536 + 320, "three blocks and part of a fourth"},
        {19 * 512 + 272, "below one block: no margin either"},
        {2 * 65536, "a whole multiple of the block"},
        {65536 + 62464, "remainder 62464: margin crosses a block"},
        {65536 + 65000, "remainder just below a block"},
        {0, "empty start region"},
    };
    const std::int64_t head = 65536, moov_start = 1368 * 512 + 392, moov_e = 1500;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        const auto out =
            Copy(Ranges({{"HEAD", head, head + c.e}, {"moov", moov_start, moov_start + moov_e}}));
        const std::int64_t moov_len = (moov_e / 512 + 6) * 512 - 392;
        EXPECT_EQ(out, Concat(PatternBytes(head, c.e), PatternBytes(moov_start, moov_len)));
    }
}

// A header 392 bytes into a unit is read from the unit and its first 392
// bytes are skipped; the six-unit margin is kept.
TEST_F(CopyFragmentsTest, MovieHeaderInsideUnitSkipsLeadingBytes) {
    const std::int64_t moov_start = 500 * 512 + 392;
    const std::int64_t e = 65536 + 4000;  // more than one block
    std::vector<std::int64_t> marks;
    const auto out =
        Copy(Ranges({{"HEAD", 0, 1024}, {"moov", moov_start, moov_start + e}}), &marks);
    const std::int64_t length = (e / 512 + 6) * 512;
    EXPECT_EQ(out, Concat(PatternBytes(0, 1024), PatternBytes(moov_start, length - 392)));
    const std::int64_t origin = 500 * 512;
    EXPECT_EQ(marks, (std::vector<std::int64_t>{origin, origin + length}));
}

TEST_F(CopyFragmentsTest, EmptyListWritesNothingAndSucceeds) {
    EXPECT_TRUE(Copy(FragmentRanges{}).empty());
}

// The margin of a fragment at the end of the medium would read past it: the
// file ends with the medium instead of with invented zeros.
TEST_F(CopyFragmentsTest, MarginStopsAtTheEndOfTheSource) {
    const std::int64_t start = kImageSize - 1536;
    EXPECT_EQ(Copy(Ranges({{"HEAD", start, kImageSize - 1}})), PatternBytes(start, 1536));
    EXPECT_EQ(PlannedOutputBytes(Ranges({{"HEAD", start, kImageSize - 1}}), kImageSize), 1536);
}

TEST_F(CopyFragmentsTest, BadFragmentStopsCopyAndKeepsWhatWasWritten) {
    const struct {
        const char* start;
        const char* end;
        CopyFailure kind;
    } cases[] = {
        {"abc", "100", CopyFailure::BadOffset},
        {"", "100", CopyFailure::BadOffset},
        {"100", "99999999999999999999", CopyFailure::BadOffset},
        {"-512", "100", CopyFailure::BadOffset},
        {"5000", "100", CopyFailure::BadLength},  // end before start
        {"0", "9223372036854775807", CopyFailure::BadLength},
        {"4194304", "4194305", CopyFailure::BadLength},  // past the end of the image
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.start) + ".." + c.end);
        FragmentRanges r = Ranges({{"HEAD", 0, 2048}});
        r.start_types.push_back("moov");
        r.start_offsets.push_back(c.start);
        r.end_offsets.push_back(c.end);
        MemorySink sink;
        const auto result = AssembleFragments(*source_, sink, r, {});
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().kind, c.kind);
        EXPECT_EQ(result.error().fragment, 1u);
        EXPECT_EQ(sink.bytes, PatternBytes(0, 2048));
        EXPECT_FALSE(DescribeCopyError(result.error()).empty());
    }
}

TEST_F(CopyFragmentsTest, ListsOfDifferentLengthsAreRefused) {
    FragmentRanges r = Ranges({{"HEAD", 0, 2048}});
    r.end_offsets.push_back("5");
    MemorySink sink;
    EXPECT_FALSE(CopyFragments(*source_, sink, r, {}));
    EXPECT_TRUE(sink.bytes.empty());
}

TEST_F(CopyFragmentsTest, FailedWriteIsReported) {
    // Writes go out a chunk at a time; the chunks before the one that did not
    // fit stay written.
    constexpr std::size_t kChunk = kCopyChunkBlocks * kCopyBlock;
    test::FullDiskSink sink(kChunk + 1000);
    const auto result = AssembleFragments(*source_, sink, Ranges({{"HEAD", 0, 3 * kChunk}}), {});
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, CopyFailure::WriteFailed);
    EXPECT_NE(DescribeCopyError(result.error()).find("No space left"), std::string::npos);
    EXPECT_EQ(sink.written, kChunk);
}

}  // namespace
}  // namespace tav

// The scan's reads on a dying medium: bad areas are passed over in growing
// jumps, come back at the end from their edges, and cost only the sectors
// that really fail.

#include "scan/scan_reader.hpp"

#include <gtest/gtest.h>

#include "core/recovery_test_support.hpp"
#include "support/faulty_device.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

constexpr std::int64_t kImage = 12 << 20;
constexpr std::int64_t kBlock = 1 << 20;

struct Pass {
    std::vector<std::uint8_t> seen;  // what the scan got to look at, zeros elsewhere
    std::vector<ByteRange> unreadable;
    int failed_reads = 0;
};

// Reads the image the way the sector loop does (1 MiB blocks plus one sector
// of overhang), then the areas passed over.
Pass ScanWith(const test::TempDir& dir, const std::vector<ByteRange>& failing) {
    const auto path = dir / "card.img";
    test::WritePatternImage(path, kImage);
    const test::FaultyOpener opener{{failing, 0}};
    const SourceReader source = opener.open(path.string());
    ScanReader reader(source);
    Pass pass;
    pass.seen.assign(kImage, 0);
    std::vector<std::uint8_t> block(kBlock + 512);
    for (std::int64_t at = 0; at < kImage; at += kBlock) {
        reader.read(at, block);
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(kBlock + 512, kImage - at));
        for (std::size_t k = 0; k < n; ++k) pass.seen[at + k] |= block[k];
    }
    for (const ByteRange& area : reader.revisit_passed_over()) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(area.length));
        reader.read(area.offset, bytes);
        for (std::size_t k = 0; k < bytes.size(); ++k) pass.seen[area.offset + k] |= bytes[k];
    }
    pass.unreadable = reader.unreadable();
    pass.failed_reads = *opener.failed_reads;
    return pass;
}

bool Inside(std::int64_t at, const std::vector<ByteRange>& ranges) {
    return std::any_of(ranges.begin(), ranges.end(),
                       [&](const ByteRange& r) { return at >= r.offset && at < r.end(); });
}

// The pass jumps over failing areas, so a bad area costs about two tries of
// each of its sectors (one when its stretch is read at the end), never one per
// read of the scan.
TEST(ScanReader, EveryReadableByteIsSeenAndBadAreasAreNotHammered) {
    const struct {
        const char* name;
        std::vector<ByteRange> failing;
    } cases[] = {
        {"one sector", test::Sectors({3 * kBlock + 4096})},
        {"scattered sectors", test::Sectors({100 * 512, kBlock - 512, 5 * kBlock + 7 * 512})},
        {"a 300-sector area", {{2 * kBlock + 4096, 300 * 512}}},
        {"an area over a block boundary", {{4 * kBlock - 20 * 512, 2000 * 512}}},
        {"two areas a jump apart", {{kBlock, 64 * 512}, {kBlock + 300 * 512, 64 * 512}}},
        // Readable sectors between two bad runs inside one jump.
        {"an island inside a jump", {{6 * kBlock, 16 * 512}, {6 * kBlock + 40 * 512, 16 * 512}}},
    };
    const auto pattern = test::PatternBytes(0, kImage);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const Pass pass = ScanWith(dir, c.failing);
        EXPECT_EQ(pass.unreadable, [&] {
            std::vector<ByteRange> merged;
            for (const ByteRange& r : c.failing) AddRange(merged, r);
            return merged;
        }());
        for (std::int64_t at = 0; at < kImage; ++at) {
            const auto want = Inside(at, c.failing) ? 0 : pattern[static_cast<std::size_t>(at)];
            ASSERT_EQ(pass.seen[static_cast<std::size_t>(at)], want) << at;
        }
        EXPECT_LE(pass.failed_reads, 2 * TotalLength(c.failing) / 512 + 40);
    }
}

// A dead stretch far larger than a card's scattered bad sectors: tried only up
// to a limit at the end, the rest given up, and everything around it seen.
TEST(ScanReader, ADeadStretchIsGivenUpAfterALimit) {
    test::TempDir dir;
    const ByteRange dead{kBlock + 4096, 8 * kBlock};
    const Pass pass = ScanWith(dir, {dead});
    ASSERT_EQ(pass.unreadable.size(), 1u);
    EXPECT_LE(pass.unreadable[0].offset, dead.offset + 16 * 512);
    EXPECT_GE(pass.unreadable[0].end(), dead.end());
    EXPECT_LE(pass.failed_reads, 3 * ScanReader::kMostRevisitFailures);
    const auto pattern = test::PatternBytes(0, kImage);
    for (std::int64_t at : {std::int64_t{0}, dead.offset - 1, dead.end(), kImage - 1})
        EXPECT_EQ(pass.seen[static_cast<std::size_t>(at)], pattern[static_cast<std::size_t>(at)]);
}

}  // namespace
}  // namespace tav

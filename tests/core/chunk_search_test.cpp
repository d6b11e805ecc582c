// Finding where a split video's chunk continues: samples checked one by one,
// positions tried on the cluster grid only.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "scan/chunk_search.hpp"

namespace tav {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint64_t kCluster = 4096;

// One camera sample: an access-unit delimiter and a slice, size bytes in all.
Bytes Sample(std::uint32_t size, std::uint8_t fill) {
    const std::uint32_t slice = size - 6 - 4;
    Bytes out(size, fill);
    const std::uint8_t head[] = {0,
                                 0,
                                 0,
                                 2,
                                 0x09,
                                 0xF0,
                                 static_cast<std::uint8_t>(slice >> 24),
                                 static_cast<std::uint8_t>(slice >> 16),
                                 static_cast<std::uint8_t>(slice >> 8),
                                 static_cast<std::uint8_t>(slice),
                                 0x41};
    std::copy(std::begin(head), std::end(head), out.begin());
    return out;
}

// An area of pseudo-random clusters, like the other files on a card.
struct Area {
    explicit Area(std::size_t clusters) : bytes(clusters * kCluster) {
        std::mt19937 rng(11);
        for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    }
    // Clipped to the area, like a file whose end lies beyond it.
    void put(std::uint64_t at, const Bytes& b) {
        for (std::size_t i = 0; i < b.size() && at + i < bytes.size(); ++i) bytes[at + i] = b[i];
    }
    void put_chunk(std::uint64_t at, const std::vector<std::uint32_t>& sizes) {
        for (const std::uint32_t s : sizes) {
            put(at, Sample(s, static_cast<std::uint8_t>(s)));
            at += s;
        }
    }
    Bytes bytes;
};

const std::vector<std::uint32_t> kSizes = {5000, 1300, 2100};
constexpr std::uint64_t kAreaOffset = 1 << 20;  // where the area lies on the source
const ClusterGrid kGrid{kAreaOffset - 8 * kCluster, kCluster};

TEST(ChunkSearch, FindsTheChunkOnTheClusterGridOnly) {
    const struct {
        const char* name;
        std::uint64_t placed;  // within the area
        ClusterGrid grid;
        std::optional<std::uint64_t> found;  // within the area
    } cases[] = {
        {"gap of one cluster", kCluster, kGrid, kCluster},
        {"gap of many clusters", 40 * kCluster, kGrid, 40 * kCluster},
        {"off the grid", 5 * kCluster + 512, kGrid, std::nullopt},
        {"a raw disk: any sector", 5 * kCluster + 512, {0, 512}, 5 * kCluster + 512},
        {"cut by the end of the area", 63 * kCluster, kGrid, std::nullopt},
    };
    for (const auto& c : cases) {
        Area area(64);
        area.put_chunk(c.placed, kSizes);
        const auto found =
            FindChunkStart(ByteView(area.bytes), kAreaOffset, kAreaOffset, c.grid, kSizes);
        const auto expected =
            c.found ? std::optional<std::uint64_t>(kAreaOffset + *c.found) : std::nullopt;
        EXPECT_EQ(found, expected) << c.name;
    }
}

TEST(ChunkSearch, AForeignFileThatStartsLikeASampleIsPassedOver) {
    Area area(32);
    // Another video's frame at cluster 3: its first sample fits the first
    // size by chance, the bytes after it do not.
    area.put(3 * kCluster, Sample(kSizes[0], 0x55));
    area.put_chunk(9 * kCluster, kSizes);
    EXPECT_EQ(FindChunkStart(ByteView(area.bytes), kAreaOffset, kAreaOffset, kGrid, kSizes),
              kAreaOffset + 9 * kCluster);
    // Searching from past the chunk finds nothing.
    EXPECT_EQ(FindChunkStart(ByteView(area.bytes), kAreaOffset, kAreaOffset + 10 * kCluster, kGrid,
                             kSizes),
              std::nullopt);
}

TEST(ChunkSearch, ValidSamplesTellWhereAGapCutsAChunk) {
    Area area(8);
    area.put_chunk(0, kSizes);
    EXPECT_EQ(ValidSamples(ByteView(area.bytes), kSizes), 3u);
    // The file's second cluster went elsewhere: another file's bytes lie
    // there. The first sample's tail is payload and cannot tell, but the
    // second sample's length lands on the foreign bytes.
    std::mt19937 rng(5);
    for (std::size_t i = kCluster; i < 2 * kCluster; ++i)
        area.bytes[i] = static_cast<std::uint8_t>(rng());
    EXPECT_EQ(ValidSamples(ByteView(area.bytes), kSizes), 1u);
    EXPECT_EQ(ValidSamples(ByteView(area.bytes).sub(0, 4000), kSizes), 0u) << "bytes end inside";
}

}  // namespace
}  // namespace tav

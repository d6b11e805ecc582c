#pragma once
// How a card's free space is cut up so that the file system splits every
// camera clip: before a clip is written, placeholder files fill the clusters
// its runs are to take, with kept filler files between them; deleting the
// placeholders leaves exactly the holes the clip then fills, in order.

#include <cstdint>
#include <expected>
#include <string>
#include <vector>

namespace tav::cardgen {

struct LayoutFile {
    std::string name;
    std::int64_t clusters = 0;
    int hole_of = -1;  // the clip whose run this placeholder makes room for; -1: kept filler
};

struct SplitPlan {
    std::vector<int> runs;           // per clip: 2 or 3
    std::vector<LayoutFile> layout;  // in the order the files are written
};

// Holes shrink run by run (first the largest) and add up to the clip
// exactly: an allocator that starts with the largest free range follows
// them as well as one that takes the first free cluster.
std::expected<SplitPlan, std::string> PlanSplit(const std::vector<std::int64_t>& clip_clusters,
                                                std::uint64_t seed);

}  // namespace tav::cardgen

#include "cardgen/split_plan.hpp"

#include <cstdio>

#include "cardgen/seeded_random.hpp"

namespace tav::cardgen {
namespace {

// 2, 3, 3, 2, 2, 3, ...: half the clips in each, and with sound on every
// second clip all four pairings occur within four clips.
int RunsFor(int n) {
    return 2 + (n + n / 2) % 2;
}

std::vector<std::int64_t> HoleSizes(std::int64_t clusters, int runs, SeededRandom& random) {
    if (runs == 2) {
        const std::int64_t first =
            clusters * (55 + static_cast<std::int64_t>(random.below(16))) / 100;
        return {first, clusters - first};
    }
    const std::int64_t first = clusters * (42 + static_cast<std::int64_t>(random.below(9))) / 100;
    const std::int64_t second =
        (clusters - first) * (58 + static_cast<std::int64_t>(random.below(8))) / 100;
    return {first, second, clusters - first - second};
}

}  // namespace

std::expected<SplitPlan, std::string> PlanSplit(const std::vector<std::int64_t>& clip_clusters,
                                                std::uint64_t seed) {
    SeededRandom random(seed * 0x5851F42D4C957F2Dull + 7);
    SplitPlan plan;
    int filler = 0;
    const auto add = [&](std::int64_t clusters, int hole_of) {
        char name[24];
        std::snprintf(name, sizeof name, "FILL%04d.BIN", ++filler);
        plan.layout.push_back({name, clusters, hole_of});
    };
    for (int n = 0; n < static_cast<int>(clip_clusters.size()); ++n) {
        const int runs = RunsFor(n);
        const auto holes = HoleSizes(clip_clusters[n], runs, random);
        for (std::size_t k = 1; k < holes.size(); ++k)
            if (holes[k] < 1 || holes[k] >= holes[k - 1])
                return std::unexpected("clip " + std::to_string(n + 1) + " has too few clusters (" +
                                       std::to_string(clip_clusters[n]) + ") to split");
        // Gaps of a single cluster and of many, alternating from clip to clip.
        const auto wide = [&] { return 2 + static_cast<std::int64_t>(random.below(40)); };
        const std::int64_t gaps[2] = {n % 2 == 0 ? 1 : wide(), n % 2 == 0 ? wide() : 1};
        add(1 + static_cast<std::int64_t>(random.below(8)), -1);  // apart from the clip before
        for (std::size_t k = 0; k < holes.size(); ++k) {
            add(holes[k], n);
            if (k + 1 < holes.size()) add(gaps[k], -1);
        }
        plan.runs.push_back(runs);
    }
    add(1 + static_cast<std::int64_t>(random.below(8)), -1);  // the last clip's end
    return plan;
}

}  // namespace tav::cardgen

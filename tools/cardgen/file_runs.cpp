#include "cardgen/file_runs.hpp"

#include <algorithm>
#include <cstring>

namespace tav::cardgen {
namespace {

class Matcher {
  public:
    Matcher(std::span<const std::uint8_t> image, const ClusterGeometry& g,
            std::span<const std::uint8_t> file)
        : image_(image), g_(g), file_(file) {}

    // How many of the file's clusters from file offset `from` on lie one after
    // another on the image from `at`.
    std::int64_t run_length(std::int64_t at, std::int64_t from) const {
        std::int64_t n = 0;
        for (; from < size() && holds(at, from); at += g_.cluster_bytes, from += g_.cluster_bytes)
            ++n;
        return n;
    }

    // Where the run holding the cluster at file offset `from` begins: the
    // cluster start from which the most of the file follows. Clusters of one
    // value (silence, zeros in free space) match in many places; the run
    // around them tells them apart. Ties go to the first place from `after` on.
    Fragment longest_run(std::int64_t from, std::int64_t after) const {
        Fragment best{-1, 0};
        for (std::int64_t at = g_.data_offset; static_cast<std::size_t>(at) < image_.size();
             at += g_.cluster_bytes) {
            if (!holds(at, from)) continue;
            const std::int64_t n = run_length(at, from);
            if (n > best.length || (n == best.length && best.offset < after && at >= after))
                best = {at, n};
        }
        return best;
    }

    std::int64_t size() const { return static_cast<std::int64_t>(file_.size()); }

  private:
    std::span<const std::uint8_t> piece(std::int64_t from) const {
        return file_.subspan(static_cast<std::size_t>(from),
                             static_cast<std::size_t>(std::min(g_.cluster_bytes, size() - from)));
    }
    bool holds(std::int64_t at, std::int64_t from) const {
        const auto p = piece(from);
        return at >= 0 && static_cast<std::size_t>(at) + p.size() <= image_.size() &&
               std::memcmp(image_.data() + at, p.data(), p.size()) == 0;
    }

    std::span<const std::uint8_t> image_;
    const ClusterGeometry& g_;
    std::span<const std::uint8_t> file_;
};

}  // namespace

std::optional<std::vector<Fragment>> FindFileRuns(std::span<const std::uint8_t> image,
                                                  const ClusterGeometry& geometry,
                                                  std::span<const std::uint8_t> file) {
    const Matcher matcher(image, geometry, file);
    std::vector<Fragment> runs;
    for (std::int64_t from = 0; from < matcher.size();) {
        const std::int64_t after = runs.empty() ? 0 : runs.back().offset + runs.back().length;
        const Fragment run = matcher.longest_run(from, after);
        if (run.length == 0) return std::nullopt;
        const std::int64_t bytes =
            std::min(run.length * geometry.cluster_bytes, matcher.size() - from);
        runs.push_back({run.offset, bytes});
        from += bytes;
    }
    return runs;
}

}  // namespace tav::cardgen

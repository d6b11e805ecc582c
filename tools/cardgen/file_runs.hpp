#pragma once
// Where a file system really put a file: its bytes matched cluster by
// cluster against the clusters of the image, whatever the allocator did.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "cardgen/cluster_geometry.hpp"
#include "cardgen/manifest.hpp"

namespace tav::cardgen {

// The file's cluster runs in file order, adjacent clusters merged into one
// fragment; nullopt when some cluster of the file is not on the image.
std::optional<std::vector<Fragment>> FindFileRuns(std::span<const std::uint8_t> image,
                                                  const ClusterGeometry& geometry,
                                                  std::span<const std::uint8_t> file);

}  // namespace tav::cardgen

#include "row_preview.hpp"

#include "row_verify.hpp"

namespace tav::preview {

std::expected<Preview, PreviewError> PreviewFragments(const std::string& source_path,
                                                      const FragmentRanges& ranges,
                                                      const PreviewLimits& limits) {
    return PreviewPlanned(source_path, RowPlan{ranges, std::nullopt}, limits);
}

}  // namespace tav::preview

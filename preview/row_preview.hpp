#pragma once
// The preview of one result row: its file assembled in place from the source
// the way the save would write it, then its first frame decoded. Opens its
// own reader, so it may run on any thread.

#include <expected>
#include <string>

#include "preview_result.hpp"
#include "recovery/copy_fragments.hpp"

namespace tav::preview {

std::expected<Preview, PreviewError> PreviewFragments(const std::string& source_path,
                                                      const FragmentRanges& ranges,
                                                      const PreviewLimits& limits = {});

}  // namespace tav::preview

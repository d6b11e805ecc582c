#pragma once
// Decodes the first video frame of a recovered file into a thumbnail and
// reads how long the video plays. A damaged file gives CannotDecode; the
// work is bounded by PreviewLimits, so no file can crash or hang it.

#include <expected>

#include "preview_result.hpp"
#include "recovery/assembled_file.hpp"

namespace tav::preview {

std::expected<Preview, PreviewError> DecodePreview(const AssembledFile& file,
                                                   const PreviewLimits& limits = {});

}  // namespace tav::preview

#pragma once
// Decodes the first video frame of a recovered file into a thumbnail and
// reads how long the video plays. A damaged file gives CannotDecode; the
// work is bounded by PreviewLimits, so no file can crash or hang it.

#include <expected>

#include "byte_source.hpp"
#include "preview_result.hpp"

namespace tav::preview {

std::expected<Preview, PreviewError> DecodePreview(const ByteSource& file,
                                                   const PreviewLimits& limits = {});

// How programs reach DecodePreview in the decoder module (decoder_loader.hpp).
using DecodeFunction = std::expected<Preview, PreviewError> (*)(const ByteSource&,
                                                                const PreviewLimits&);

}  // namespace tav::preview

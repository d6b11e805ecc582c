#pragma once
// Writes a rebuilt file: the start region's bytes from the source, piece
// after piece for a split file (with the mdat size patched when the walk
// ended early), then the new movie atom.

#include <expected>

#include "platform/source_reader.hpp"
#include "recovery/copy_fragments.hpp"
#include "recovery/header_rebuild.hpp"
#include "recovery/output_sink.hpp"

namespace tav {

std::expected<CopyResult, CopyError> WriteRebuiltFile(const SourceReader& source, OutputSink& out,
                                                      const RebuiltFile& file,
                                                      const CopyProgress& progress);

}  // namespace tav

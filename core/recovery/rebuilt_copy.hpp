#pragma once
// Writes a rebuilt file: the start region's bytes from the source, piece
// after piece for a split file (with the mdat size patched when the walk
// ended early), then the new movie atom.

#include <cstdint>
#include <expected>
#include <span>
#include <vector>

#include "platform/source_reader.hpp"
#include "recovery/copy_fragments.hpp"
#include "recovery/header_rebuild.hpp"
#include "recovery/output_sink.hpp"

namespace tav {

// The file's bytes [file_from, file_to) lie at source on the source.
struct RebuiltStretch {
    std::uint64_t file_from = 0, file_to = 0;
    std::int64_t source = 0;
};

// The copied part of a rebuilt file, piece by piece in file order, or why
// it cannot be read from a source of source_size bytes (-1: unknown).
std::expected<std::vector<RebuiltStretch>, CopyError> RebuiltStretches(const RebuiltFile& file,
                                                                       std::int64_t source_size);

// The bytes of a patch at patch_at that fall on the block of the file at
// [at, at + block.size()).
void ApplyRebuiltPatch(std::uint64_t patch_at, std::span<const std::uint8_t> patch,
                       std::uint64_t at, std::span<std::uint8_t> block);

std::expected<CopyResult, CopyError> WriteRebuiltFile(const SourceReader& source, OutputSink& out,
                                                      const RebuiltFile& file,
                                                      const CopyProgress& progress);

}  // namespace tav

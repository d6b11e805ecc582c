#pragma once
// One result's file as a save would write it, read in place: logical offsets
// map through the planned source ranges onto the medium. Lets a reader look
// into a recovered video (its first frame, its duration) without writing it.

#include <cstdint>
#include <expected>
#include <span>
#include <vector>

#include "common/byte_range.hpp"
#include "platform/source_reader.hpp"
#include "recovery/copy_fragments.hpp"
#include "recovery/header_rebuild.hpp"

namespace tav {

class AssembledFile {
  public:
    // The source must outlive the view and, like any reader, stay on one thread.
    AssembledFile(const SourceReader& source, std::vector<ByteRange> pieces);

    // The file AssembleFragments would write for these ranges, or why it would fail.
    static std::expected<AssembledFile, CopyError> open(const SourceReader& source,
                                                        const FragmentRanges& ranges);

    // The file WriteRebuiltFile would write: the copied start region (and
    // further pieces), the size patch, then the new movie atom. The file is
    // copied into the view, so it need not outlive it.
    static std::expected<AssembledFile, CopyError> open(const SourceReader& source,
                                                        const RebuiltFile& file);

    std::int64_t size() const { return size_; }
    // The medium went away: every later read gives zeros.
    bool source_gone() const { return source_->gone(); }

    // Fills buf from the file's byte offset; answers how many bytes lay inside
    // the file (0 at or past its end, or for a negative offset). Source bytes
    // that cannot be read come back as zeros, as the save writes them.
    std::size_t read(std::int64_t offset, std::span<std::uint8_t> buf) const;

  private:
    std::size_t ReadCopied(std::int64_t offset, std::span<std::uint8_t> buf) const;

    const SourceReader* source_;
    std::vector<ByteRange> pieces_;
    std::vector<std::int64_t> starts_;  // each piece's offset in the file
    std::int64_t size_ = 0;
    // A rebuilt file's: bytes laid over the copied ones, and the bytes after them.
    std::uint64_t patch_at_ = 0;
    ByteString patch_;
    ByteString tail_;
};

}  // namespace tav

#include "recovery/rebuilt_copy.hpp"

#include <algorithm>
#include <limits>
#include <vector>

namespace tav {

namespace {

// The part of the patch that falls on the block [at, at + block.size()).
void ApplyPatch(const RebuiltFile& f, std::uint64_t at, std::span<std::uint8_t> block) {
    for (std::size_t k = 0; k < f.patch.size(); ++k) {
        const std::uint64_t pos = f.patch_at + k;
        if (pos >= at && pos - at < block.size())
            block[static_cast<std::size_t>(pos - at)] = f.patch[k];
    }
}

}  // namespace

std::expected<CopyResult, CopyError> WriteRebuiltFile(const SourceReader& source, OutputSink& out,
                                                      const RebuiltFile& f,
                                                      const CopyProgress& progress) {
    constexpr auto kMost = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    const std::int64_t size = source.size();
    if (f.source_offset < 0 ||
        f.copy_length > kMost - static_cast<std::uint64_t>(f.source_offset) ||
        (size >= 0 && f.source_offset + static_cast<std::int64_t>(f.copy_length) > size))
        return std::unexpected(
            CopyError{CopyFailure::BadLength, 0, std::to_string(f.source_offset)});
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(kCopyChunkBlocks * kCopyBlock));
    CopyResult result;
    for (std::uint64_t done = 0; done < f.copy_length;) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), f.copy_length - done));
        const std::span<std::uint8_t> block(buffer.data(), n);
        const std::int64_t from = f.source_offset + static_cast<std::int64_t>(done);
        const ReadReport report = source.read_at(from, block);
        for (const ByteRange& r : report.unreadable) AddRange(result.unreadable, r);
        ApplyPatch(f, done, block);
        if (!out.write(block))
            return std::unexpected(CopyError{CopyFailure::WriteFailed, 0, out.last_error()});
        done += n;
        result.written += static_cast<std::int64_t>(n);
        if (progress) progress(result.written);
    }
    if (!out.write(f.moov))
        return std::unexpected(CopyError{CopyFailure::WriteFailed, 1, out.last_error()});
    result.written += static_cast<std::int64_t>(f.moov.size());
    if (progress) progress(result.written);
    return result;
}

}  // namespace tav

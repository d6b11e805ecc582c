#include "recovery/rebuilt_copy.hpp"

#include <algorithm>
#include <limits>
#include <vector>

namespace tav {

void ApplyRebuiltPatch(std::uint64_t patch_at, std::span<const std::uint8_t> patch,
                       std::uint64_t at, std::span<std::uint8_t> block) {
    for (std::size_t k = 0; k < patch.size(); ++k) {
        const std::uint64_t pos = patch_at + k;
        if (pos >= at && pos - at < block.size())
            block[static_cast<std::size_t>(pos - at)] = patch[k];
    }
}

std::expected<std::vector<RebuiltStretch>, CopyError> RebuiltStretches(const RebuiltFile& f,
                                                                       std::int64_t size) {
    constexpr auto kMost = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    std::vector<RebuiltStretch> out{{0, f.copy_length, f.source_offset}};
    for (const MediaPiece& p : f.pieces) {
        if (p.file_offset <= out.back().file_from || p.file_offset >= f.copy_length) break;
        out.back().file_to = p.file_offset;
        out.push_back({p.file_offset, f.copy_length, p.source_offset});
    }
    for (const RebuiltStretch& s : out) {
        const std::uint64_t length = s.file_to - s.file_from;
        if (s.source < 0 || length > kMost - static_cast<std::uint64_t>(s.source) ||
            (size >= 0 && s.source + static_cast<std::int64_t>(length) > size))
            return std::unexpected(CopyError{CopyFailure::BadLength, 0, std::to_string(s.source)});
    }
    return out;
}

std::expected<CopyResult, CopyError> WriteRebuiltFile(const SourceReader& source, OutputSink& out,
                                                      const RebuiltFile& f,
                                                      const CopyProgress& progress) {
    const auto stretches = RebuiltStretches(f, source.size());
    if (!stretches) return std::unexpected(stretches.error());
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(kCopyChunkBlocks * kCopyBlock));
    CopyResult result;
    for (const RebuiltStretch& s : *stretches) {
        for (std::uint64_t done = s.file_from; done < s.file_to;) {
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), s.file_to - done));
            const std::span<std::uint8_t> block(buffer.data(), n);
            const std::int64_t from = s.source + static_cast<std::int64_t>(done - s.file_from);
            const ReadReport report = source.read_at(from, block);
            for (const ByteRange& r : report.unreadable) AddRange(result.unreadable, r);
            ApplyRebuiltPatch(f.patch_at, f.patch, done, block);
            if (!out.write(block))
                return std::unexpected(CopyError{CopyFailure::WriteFailed, 0, out.last_error()});
            done += n;
            result.written += static_cast<std::int64_t>(n);
            if (progress) progress(result.written);
        }
    }
    if (!out.write(f.moov))
        return std::unexpected(CopyError{CopyFailure::WriteFailed, 1, out.last_error()});
    result.written += static_cast<std::int64_t>(f.moov.size());
    if (progress) progress(result.written);
    return result;
}

}  // namespace tav

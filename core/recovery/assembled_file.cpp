#include "recovery/assembled_file.hpp"

#include <algorithm>
#include <iterator>
#include <limits>

#include "recovery/rebuilt_copy.hpp"

namespace tav {

AssembledFile::AssembledFile(const SourceReader& source, std::vector<ByteRange> pieces)
    : source_(&source), pieces_(std::move(pieces)) {
    starts_.reserve(pieces_.size());
    constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();
    for (const ByteRange& piece : pieces_) {
        starts_.push_back(size_);
        // Ranges from a damaged table must not wrap the file's offsets.
        const std::int64_t length = std::max<std::int64_t>(0, piece.length);
        size_ = length > kMost - size_ ? kMost : size_ + length;
    }
}

std::expected<AssembledFile, CopyError> AssembledFile::open(const SourceReader& source,
                                                            const FragmentRanges& ranges) {
    auto planned = PlannedSourceRanges(ranges, source.size());
    if (!planned) return std::unexpected(planned.error());
    return AssembledFile(source, std::move(*planned));
}

std::expected<AssembledFile, CopyError> AssembledFile::open(const SourceReader& source,
                                                            const RebuiltFile& file) {
    const auto stretches = RebuiltStretches(file, source.size());
    if (!stretches) return std::unexpected(stretches.error());
    std::vector<ByteRange> pieces;
    for (const RebuiltStretch& s : *stretches)
        pieces.push_back({s.source, static_cast<std::int64_t>(s.file_to - s.file_from)});
    AssembledFile out(source, std::move(pieces));
    out.patch_at_ = file.patch_at;
    out.patch_ = file.patch;
    out.tail_ = file.moov;
    constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();
    const auto tail = static_cast<std::int64_t>(out.tail_.size());
    out.size_ = tail > kMost - out.size_ ? kMost : out.size_ + tail;
    return out;
}

std::size_t AssembledFile::read(std::int64_t offset, std::span<std::uint8_t> buf) const {
    if (offset < 0 || offset >= size_ || buf.empty()) return 0;
    const std::int64_t copied = size_ - static_cast<std::int64_t>(tail_.size());
    if (!tail_.empty() && offset + static_cast<std::int64_t>(buf.size()) > copied) {
        // Split at the tail: the copied part (patched) from the source, the rest from memory.
        const std::size_t head = offset < copied ? static_cast<std::size_t>(copied - offset) : 0;
        const std::size_t before = head > 0 ? read(offset, buf.first(head)) : 0;
        if (before < head) return before;
        const std::int64_t in_tail = offset + static_cast<std::int64_t>(before) - copied;
        const auto take = std::min<std::size_t>(buf.size() - before,
                                                tail_.size() - static_cast<std::size_t>(in_tail));
        std::copy_n(tail_.begin() + in_tail, take,
                    buf.begin() + static_cast<std::ptrdiff_t>(before));
        return before + take;
    }
    const std::size_t n = ReadCopied(offset, buf);
    if (!patch_.empty())
        ApplyRebuiltPatch(patch_at_, patch_, static_cast<std::uint64_t>(offset), buf.first(n));
    return n;
}

std::size_t AssembledFile::ReadCopied(std::int64_t offset, std::span<std::uint8_t> buf) const {
    const std::int64_t copied = size_ - static_cast<std::int64_t>(tail_.size());
    const auto want =
        std::min<std::int64_t>(static_cast<std::int64_t>(buf.size()), copied - offset);
    // The last piece starting at or before offset holds it (empty pieces are skipped over).
    auto at = std::upper_bound(starts_.begin(), starts_.end(), offset);
    auto piece = static_cast<std::size_t>(std::distance(starts_.begin(), at) - 1);
    std::int64_t done = 0;
    while (done < want && piece < pieces_.size()) {
        const std::int64_t inside = offset + done - starts_[piece];
        const std::int64_t take = std::min(want - done, pieces_[piece].length - inside);
        if (take > 0) {
            // read_at zeroes the buffer first, so failing sectors come back as zeros.
            source_->read_at(
                pieces_[piece].offset + inside,
                buf.subspan(static_cast<std::size_t>(done), static_cast<std::size_t>(take)));
            done += take;
        }
        ++piece;
    }
    return static_cast<std::size_t>(done);
}

}  // namespace tav

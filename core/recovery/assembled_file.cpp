#include "recovery/assembled_file.hpp"

#include <algorithm>
#include <iterator>
#include <limits>

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

std::size_t AssembledFile::read(std::int64_t offset, std::span<std::uint8_t> buf) const {
    if (offset < 0 || offset >= size_ || buf.empty()) return 0;
    const auto want = std::min<std::int64_t>(static_cast<std::int64_t>(buf.size()), size_ - offset);
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

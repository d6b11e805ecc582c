#include "recovery/source_bytes.hpp"

#include <algorithm>
#include <limits>

namespace tav {

bool SourceBytes::load(std::uint64_t block) const {
    if (block == block_index_) return block_clean_;
    block_index_ = block;
    block_clean_ = false;
    constexpr auto kMost = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    const std::uint64_t start = block * kBlock;
    if (start > kMost - kBlock - static_cast<std::uint64_t>(offset_)) return false;
    const std::int64_t at = offset_ + static_cast<std::int64_t>(start);
    const std::int64_t size = source_.size();
    if (size >= 0 && at >= size) return false;
    const std::uint64_t length =
        size < 0 ? kBlock : std::min<std::uint64_t>(kBlock, static_cast<std::uint64_t>(size - at));
    block_.assign(static_cast<std::size_t>(length), 0);
    block_clean_ = source_.read_at(at, block_).clean();
    return block_clean_;
}

bool SourceBytes::read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    std::size_t done = 0;
    while (done < out.size()) {
        const std::uint64_t at = offset + done;
        if (at < offset || !load(at / kBlock)) return false;
        const std::uint64_t in_block = at % kBlock;
        if (in_block >= block_.size()) return false;
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>(block_.size() - in_block, out.size() - done));
        std::copy_n(block_.data() + in_block, n, out.data() + done);
        done += n;
    }
    return true;
}

}  // namespace tav

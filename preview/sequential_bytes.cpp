#include "sequential_bytes.hpp"

#include <algorithm>
#include <cstring>

namespace tav::preview {

std::size_t SequentialBytes::read(std::int64_t offset, std::span<std::uint8_t> buf) const {
    std::size_t done = 0;
    while (done < buf.size()) {
        const std::int64_t at = offset + static_cast<std::int64_t>(done);
        if (at < 0 || at >= file_.size() || file_.source_gone()) break;
        const bool inside = chunk_at_ >= 0 && at >= chunk_at_ &&
                            at < chunk_at_ + static_cast<std::int64_t>(chunk_.size());
        if (!inside) {
            chunk_.resize(kChunk);
            const std::size_t n = file_.read(at, chunk_);
            chunk_.resize(n);
            chunk_at_ = at;
            source_bytes_ += static_cast<std::int64_t>(n);
            pacer_.chunk_done();
            if (n == 0) break;
        }
        const auto from = static_cast<std::size_t>(at - chunk_at_);
        const std::size_t take = std::min(buf.size() - done, chunk_.size() - from);
        std::memcpy(buf.data() + done, chunk_.data() + from, take);
        done += take;
    }
    return done;
}

}  // namespace tav::preview

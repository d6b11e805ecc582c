#pragma once
// A start region on a source as MediaBytes: read in blocks and kept, since
// the media walk reads a few bytes at every NAL unit. Bytes that could not
// be read count as missing.

#include <cstdint>
#include <vector>

#include "platform/source_reader.hpp"
#include "recovery/media_walk.hpp"

namespace tav {

class SourceBytes : public MediaBytes {
  public:
    // offset: the region's first byte on the source.
    SourceBytes(const SourceReader& source, std::int64_t offset)
        : source_(source), offset_(offset) {}
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override;

  private:
    bool load(std::uint64_t block) const;

    static constexpr std::uint64_t kBlock = 1 << 20;
    const SourceReader& source_;
    std::int64_t offset_;
    mutable std::vector<std::uint8_t> block_;
    mutable std::uint64_t block_index_ = UINT64_MAX;
    mutable bool block_clean_ = false;
};

}  // namespace tav

#pragma once
// A planned file as the decoder reads it from end to end: the source is read
// ahead in large chunks in file order, so a card sees long sequential reads
// rather than the demuxer's small ones, and each chunk is paced.

#include <cstdint>
#include <vector>

#include "byte_source.hpp"
#include "read_pacer.hpp"
#include "recovery/assembled_file.hpp"

namespace tav::preview {

class SequentialBytes : public ByteSource {
  public:
    static constexpr std::size_t kChunk = 1 << 20;

    SequentialBytes(const AssembledFile& file, ReadPacer& pacer) : file_(file), pacer_(pacer) {}

    std::int64_t size() const override { return file_.size(); }
    std::size_t read(std::int64_t offset, std::span<std::uint8_t> buf) const override;

    std::int64_t source_bytes() const { return source_bytes_; }

  private:
    const AssembledFile& file_;
    ReadPacer& pacer_;
    // The decoder reads through a const view; the read-ahead is its cache.
    mutable std::vector<std::uint8_t> chunk_;
    mutable std::int64_t chunk_at_ = -1;
    mutable std::int64_t source_bytes_ = 0;
};

}  // namespace tav::preview

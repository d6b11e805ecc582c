#pragma once
// An FFmpeg I/O context that reads a recovered file in place: no temporary
// file, and a budget on the bytes a damaged file can make the demuxer read.

#include <memory>

extern "C" {
#include <libavformat/avio.h>
}

#include "byte_source.hpp"

namespace tav::preview {

class AvioView {
  public:
    AvioView(const ByteSource& file, std::int64_t most_bytes);
    ~AvioView();
    AvioView(const AvioView&) = delete;
    AvioView& operator=(const AvioView&) = delete;

    // Null when FFmpeg could not allocate it.
    AVIOContext* context() const { return context_; }
    std::int64_t bytes_read() const { return budget_given_ - budget_; }

  private:
    static int Read(void* opaque, std::uint8_t* buf, int size);
    static std::int64_t Seek(void* opaque, std::int64_t offset, int whence);

    const ByteSource& file_;
    const std::int64_t budget_given_;
    std::int64_t budget_;
    std::int64_t position_ = 0;
    AVIOContext* context_ = nullptr;
};

}  // namespace tav::preview

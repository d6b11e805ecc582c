#include "avio_view.hpp"

#include <algorithm>
#include <cstdio>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace tav::preview {

namespace {
constexpr int kBufferBytes = 32 * 1024;
}

AvioView::AvioView(const ByteSource& file, std::int64_t most_bytes)
    : file_(file), budget_given_(most_bytes), budget_(most_bytes) {
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferBytes));
    if (!buffer) return;
    context_ = avio_alloc_context(buffer, kBufferBytes, 0, this, &AvioView::Read, nullptr,
                                  &AvioView::Seek);
    if (!context_) av_free(buffer);
}

AvioView::~AvioView() {
    if (!context_) return;
    // The context may have replaced its buffer; it owns whichever it holds.
    av_freep(&context_->buffer);
    avio_context_free(&context_);
}

int AvioView::Read(void* opaque, std::uint8_t* buf, int size) {
    auto* self = static_cast<AvioView*>(opaque);
    const std::int64_t allowed = std::min<std::int64_t>(size, self->budget_);
    if (allowed <= 0) return AVERROR_EOF;
    const std::size_t n =
        self->file_.read(self->position_, std::span(buf, static_cast<std::size_t>(allowed)));
    if (n == 0) return AVERROR_EOF;
    self->position_ += static_cast<std::int64_t>(n);
    self->budget_ -= static_cast<std::int64_t>(n);
    return static_cast<int>(n);
}

std::int64_t AvioView::Seek(void* opaque, std::int64_t offset, int whence) {
    auto* self = static_cast<AvioView*>(opaque);
    const std::int64_t size = self->file_.size();
    std::int64_t target = -1;
    switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return size;
        case SEEK_SET:
            target = offset;
            break;
        case SEEK_CUR:
            if (__builtin_add_overflow(self->position_, offset, &target)) target = -1;
            break;
        case SEEK_END:
            if (__builtin_add_overflow(size, offset, &target)) target = -1;
            break;
    }
    if (target < 0) return AVERROR(EINVAL);
    self->position_ = target;
    return target;
}

}  // namespace tav::preview

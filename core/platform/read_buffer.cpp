#include "platform/read_buffer.hpp"

#include <cstdlib>
#include <cstring>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace tav {

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
}  // namespace

ReadBuffer::ReadBuffer(std::size_t size) : size_(size) {
#ifdef __linux__
    const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    data_ = static_cast<std::uint8_t*>(std::aligned_alloc(kHugePage, rounded));
    if (!data_) throw std::bad_alloc();
    ::madvise(data_, rounded, MADV_HUGEPAGE);  // only a hint: ordinary pages do too
#else
    data_ = static_cast<std::uint8_t*>(std::malloc(size));
    if (!data_) throw std::bad_alloc();
#endif
    // Touched once here, so no read pays for the page faults.
    std::memset(data_, 0, size_);
}

ReadBuffer::~ReadBuffer() {
    std::free(data_);
}

}  // namespace tav

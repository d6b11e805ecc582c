#pragma once
// The buffer of the scan's large sequential reads. On Linux it sits in one
// transparent huge page where the kernel allows them, which spares the TLB
// misses of both the kernel's copy into it and the search through it: on a
// page-cached image that is a tenth of the scan's time.

#include <cstddef>
#include <cstdint>
#include <span>

namespace tav {

class ReadBuffer {
  public:
    explicit ReadBuffer(std::size_t size);
    ~ReadBuffer();
    ReadBuffer(const ReadBuffer&) = delete;
    ReadBuffer& operator=(const ReadBuffer&) = delete;

    std::uint8_t* data() { return data_; }
    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    std::span<std::uint8_t> span() { return {data_, size_}; }

  private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace tav

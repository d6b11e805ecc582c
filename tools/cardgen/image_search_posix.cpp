#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "cardgen/image_search.hpp"

namespace tav::cardgen {

MappedImage::MappedImage(const std::filesystem::path& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    const off_t size = lseek(fd, 0, SEEK_END);
    if (size > 0) {
        void* p = mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_SHARED, fd, 0);
        if (p != MAP_FAILED) {
            data_ = static_cast<const std::uint8_t*>(p);
            size_ = static_cast<std::size_t>(size);
        }
    }
    close(fd);
}

MappedImage::~MappedImage() {
    if (data_) munmap(const_cast<std::uint8_t*>(data_), size_);
}

std::int64_t MappedImage::find(std::span<const std::uint8_t> needle, std::int64_t from) const {
    if (!data_ || needle.empty() || from < 0 || static_cast<std::size_t>(from) >= size_) return -1;
    const std::uint8_t* begin = data_ + from;
    const std::uint8_t* end = data_ + size_;
    const auto it =
        std::search(begin, end, std::boyer_moore_horspool_searcher(needle.begin(), needle.end()));
    return it == end ? -1 : static_cast<std::int64_t>(it - data_);
}

}  // namespace tav::cardgen

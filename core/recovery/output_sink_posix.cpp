#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "recovery/output_sink.hpp"

namespace tav {

namespace {

std::string ErrnoText(const std::string& what, int err) {
    return what + ": " + std::strerror(err);
}

}  // namespace

// A new file only: O_EXCL fails on anything already there, a symbolic link
// included, so no earlier file (and never the source) is overwritten.
std::expected<std::unique_ptr<FileSink>, std::string> FileSink::create(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return std::unexpected(ErrnoText(path, errno));
    return std::unique_ptr<FileSink>(new FileSink(fd, path));
}

bool FileSink::write_all(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(static_cast<int>(handle_), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = n < 0 ? std::strerror(errno) : "写入了0字节";
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool FileSink::close() {
    if (handle_ < 0) return error_.empty();
    const int rc = ::close(static_cast<int>(handle_));
    handle_ = -1;
    if (rc != 0 && error_.empty()) error_ = std::strerror(errno);
    return rc == 0;
}

}  // namespace tav

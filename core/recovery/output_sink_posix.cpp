#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "recovery/output_sink.hpp"

namespace tav {

namespace {

std::string ErrnoText(const std::string& what, int err) {
    return what + ": " + std::strerror(err);
}

// Opens path for writing without following a link there and without
// truncating yet (the caller checks first that it is not the source).
std::expected<int, std::string> OpenUnlinked(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            if (::unlink(path.c_str()) != 0) return std::unexpected(ErrnoText(path, errno));
        } else if (!S_ISREG(st.st_mode)) {
            return std::unexpected(path + ": 已存在且不是普通文件");
        }
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return std::unexpected(ErrnoText(path, errno));
    return fd;
}

bool SameFile(int fd, const std::string& other_path) {
    struct stat mine {
    }, other{};
    if (other_path.empty() || ::stat(other_path.c_str(), &other) != 0) return false;
    if (::fstat(fd, &mine) != 0) return false;
    return mine.st_dev == other.st_dev && mine.st_ino == other.st_ino;
}

}  // namespace

std::expected<std::unique_ptr<FileSink>, std::string> FileSink::create(
    const std::string& path, const std::string& avoid_path) {
    const auto fd = OpenUnlinked(path);
    if (!fd) return std::unexpected(fd.error());
    if (SameFile(*fd, avoid_path)) {
        ::close(*fd);
        return std::unexpected(path + ": 是正在读取的源文件，不能覆盖");
    }
    if (::ftruncate(*fd, 0) != 0) {
        const int err = errno;
        ::close(*fd);
        return std::unexpected(ErrnoText(path, err));
    }
    return std::unique_ptr<FileSink>(new FileSink(*fd, path));
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

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#endif

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/source_reader.hpp"

namespace tav {

namespace {

class PosixDevice : public SourceDevice {
  public:
    PosixDevice(int fd, const struct stat& st, std::string path)
        : fd_(fd), block_(S_ISBLK(st.st_mode)), opened_(st), path_(std::move(path)) {}
    ~PosixDevice() override { ::close(fd_); }
    PosixDevice(const PosixDevice&) = delete;
    PosixDevice& operator=(const PosixDevice&) = delete;

    DeviceRead read(std::int64_t offset, std::span<std::uint8_t> buf) const override {
        DeviceRead r;
        while (r.bytes < buf.size()) {
            const ssize_t n =
                ::pread(fd_, buf.data() + r.bytes, buf.size() - r.bytes,
                        static_cast<off_t>(offset + static_cast<std::int64_t>(r.bytes)));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                r.error = errno;
                break;
            }
            if (n == 0) break;  // end of medium
            r.bytes += static_cast<std::size_t>(n);
        }
        return r;
    }

    std::int64_t size() const override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) return -1;
        if (S_ISREG(st.st_mode)) return st.st_size;
#ifdef __linux__
        std::uint64_t bytes = 0;
        if (block_ && ::ioctl(fd_, BLKGETSIZE64, &bytes) == 0)
            return static_cast<std::int64_t>(bytes);
#endif
        const off_t end = ::lseek(fd_, 0, SEEK_END);
        return end < 0 ? -1 : static_cast<std::int64_t>(end);
    }

    std::int64_t sector_bytes() const override {
#ifdef __linux__
        int logical = 0;
        if (block_ && ::ioctl(fd_, BLKSSZGET, &logical) == 0 && logical >= 512 && logical <= 65536)
            return logical;
#endif
        return 512;
    }

    // The node is looked up again by its path: an unplugged reader's node
    // disappears, and one that came back may be another medium.
    bool present() const override {
        struct stat now {};
        if (::stat(path_.c_str(), &now) != 0) return false;
        if (block_) return S_ISBLK(now.st_mode) && now.st_rdev == opened_.st_rdev;
        return now.st_dev == opened_.st_dev && now.st_ino == opened_.st_ino;
    }

  private:
    int fd_;
    bool block_;
    struct stat opened_;
    std::string path_;
};

}  // namespace

std::expected<SourceReader, OpenError> SourceReader::open(const std::string& path) {
    // Non-blocking, so that opening a pipe does not wait for a writer; the
    // type check below refuses it anyway.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int err = errno;
        return std::unexpected(OpenError{path, err, std::strerror(err)});
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return std::unexpected(OpenError{path, err, std::strerror(err)});
    }
    // A folder opens read-only on POSIX but has no bytes to scan; a character
    // device or a pipe would be read without end.
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        return std::unexpected(OpenError{path, EISDIR, std::strerror(EISDIR)});
    }
    if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
        ::close(fd);
        return std::unexpected(OpenError{path, ENODEV, "既不是镜像文件也不是块设备"});
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return SourceReader(std::make_unique<PosixDevice>(fd, st, path), path);
}

bool ReadErrorMeansGone(int error) {
    // A card taken out of a reader that stays says ENOMEDIUM; an image on a
    // network or FUSE mount that went away, ENOTCONN.
    switch (error) {
        case ENODEV:
        case ENXIO:
#ifdef ENOMEDIUM
        case ENOMEDIUM:
#endif
        case ENOTCONN:
            return true;
        default:
            return false;
    }
}

}  // namespace tav

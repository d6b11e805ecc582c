#pragma once
// Pieces shared by the fuzz targets: the input as a file the core can open by
// path, and a check that turns a broken invariant into a crash libFuzzer
// keeps.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace tav::fuzz {

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
    std::abort();
}

#define TAV_FUZZ_CHECK(cond) \
    ((cond) ? static_cast<void>(0) : ::tav::fuzz::Fail(#cond, __FILE__, __LINE__))

// An anonymous in-memory file, reused for every input of the process. Code
// that opens a source by path (SourceReader::open, the loaders) gets
// "/proc/self/fd/N" and reads exactly the bytes written last.
class MemoryFile {
  public:
    MemoryFile() : fd_(::memfd_create("tavorine-fuzz", MFD_CLOEXEC)) {
        if (fd_ < 0) Fail("memfd_create", __FILE__, __LINE__);
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    ~MemoryFile() { ::close(fd_); }

    const std::string& hold(const std::uint8_t* data, std::size_t size) {
        if (::ftruncate(fd_, 0) != 0) Fail("ftruncate", __FILE__, __LINE__);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0) Fail("pwrite", __FILE__, __LINE__);
            done += static_cast<std::size_t>(n);
        }
        return path_;
    }
    const std::string& path() const { return path_; }

  private:
    int fd_;
    std::string path_;
};

// One file per process: the targets run single-threaded.
inline MemoryFile& InputFile() {
    static MemoryFile file;
    return file;
}

}  // namespace tav::fuzz

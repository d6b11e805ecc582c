#include <windows.h>

#include <algorithm>

#include "recovery/output_sink.hpp"

namespace tav {

namespace {

std::string LastErrorText(const std::string& what) {
    return what + ": Windows error " + std::to_string(::GetLastError());
}

}  // namespace

// A new file only: CREATE_NEW fails on anything already there, so no earlier
// file (and never the source) is overwritten.
std::expected<std::unique_ptr<FileSink>, std::string> FileSink::create(const std::string& path) {
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::unexpected(LastErrorText(path));
    return std::unique_ptr<FileSink>(new FileSink(reinterpret_cast<std::intptr_t>(h), path));
}

bool FileSink::write_all(std::span<const std::uint8_t> bytes) {
    HANDLE h = reinterpret_cast<HANDLE>(handle_);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD wrote = 0;
        if (!::WriteFile(h, bytes.data() + done, want, &wrote, nullptr) || wrote == 0) {
            error_ = LastErrorText("WriteFile");
            return false;
        }
        done += wrote;
    }
    return true;
}

bool FileSink::close() {
    if (handle_ < 0) return error_.empty();
    const bool ok = ::CloseHandle(reinterpret_cast<HANDLE>(handle_)) != 0;
    handle_ = -1;
    if (!ok && error_.empty()) error_ = LastErrorText("CloseHandle");
    return ok;
}

}  // namespace tav

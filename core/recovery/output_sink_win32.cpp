#include <windows.h>

#include <algorithm>

#include "recovery/output_sink.hpp"

namespace tav {

namespace {

std::string LastErrorText(const std::string& what) {
    return what + ": Windows error " + std::to_string(::GetLastError());
}

bool SameFile(HANDLE file, const std::string& other_path) {
    if (other_path.empty()) return false;
    HANDLE other = ::CreateFileA(other_path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (other == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    const bool same = ::GetFileInformationByHandle(file, &a) &&
                      ::GetFileInformationByHandle(other, &b) &&
                      a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                      a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
    ::CloseHandle(other);
    return same;
}

}  // namespace

std::expected<std::unique_ptr<FileSink>, std::string> FileSink::create(
    const std::string& path, const std::string& avoid_path) {
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::unexpected(LastErrorText(path));
    if (SameFile(h, avoid_path)) {
        ::CloseHandle(h);
        return std::unexpected(path + ": 是正在读取的源文件，不能覆盖");
    }
    if (!::SetEndOfFile(h)) {
        const std::string error = LastErrorText(path);
        ::CloseHandle(h);
        return std::unexpected(error);
    }
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

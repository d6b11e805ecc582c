#include <windows.h>

#include "common/utf8_path.hpp"
#include "platform/user_data_folder.hpp"

namespace tav {

std::string UserDataFolder() {
    wchar_t buffer[MAX_PATH * 2];
    const DWORD n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) return {};
    return Utf8FromPath(std::filesystem::path(std::wstring(buffer, n)) / L"tavorine-mov");
}

}  // namespace tav

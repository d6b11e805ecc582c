#include "platform/atomic_file.hpp"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/utf8_path.hpp"

namespace tav {

std::string TemporaryFileFor(const std::string& path) {
    return path + ".tmp";
}

std::expected<std::string, std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    if (!in) return std::unexpected(std::string("无法打开文件"));
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::unexpected(std::string("读取文件出错"));
    return bytes;
}

std::string FolderOf(const std::string& path) {
    return Utf8FromPath(PathFromUtf8(path).parent_path());
}

void RemoveFolderIfEmpty(const std::string& folder) {
    std::error_code ec;
    if (!folder.empty() && std::filesystem::is_empty(PathFromUtf8(folder), ec) && !ec)
        std::filesystem::remove(PathFromUtf8(folder), ec);
}

void RemoveFileAndTemporary(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(PathFromUtf8(path), ec);
    std::filesystem::remove(PathFromUtf8(TemporaryFileFor(path)), ec);
}

}  // namespace tav

#include "recovery/output_sink.hpp"
#include "common/utf8_path.hpp"

#include <filesystem>

namespace tav {

FileSink::~FileSink() {
    close();
}

bool FileSink::write(std::span<const std::uint8_t> bytes) {
    if (handle_ < 0) {
        error_ = "文件已关闭";
        return false;
    }
    return write_all(bytes);
}

void FileSink::discard() {
    close();
    // The file is ours: create() made or emptied it, and links were removed.
    std::error_code ignored;
    std::filesystem::remove(PathFromUtf8(path_), ignored);
}

}  // namespace tav

#include "recovery/reference_file.hpp"

#include <array>
#include <fstream>

#include "common/byte_order.hpp"
#include "common/utf8_path.hpp"

namespace tav {

std::expected<ReferenceMovie, std::string> LoadReferenceMovie(const std::filesystem::path& path) {
    const std::string name = Utf8FromPath(path);
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::unexpected("无法打开参考文件 " + name);
    std::error_code ec;
    const std::uint64_t file_size = std::filesystem::file_size(path, ec);
    if (ec) return std::unexpected("无法读取参考文件 " + name);
    std::uint64_t at = 0;
    while (at + 8 <= file_size) {
        std::array<std::uint8_t, 16> head{};
        in.seekg(static_cast<std::streamoff>(at));
        if (!in.read(reinterpret_cast<char*>(head.data()), 8)) break;
        std::uint64_t size = load_be32(head.data());
        if (size == 1) {
            if (!in.read(reinterpret_cast<char*>(head.data() + 8), 8)) break;
            size = load_be64(head.data() + 8);
        } else if (size == 0) {
            size = file_size - at;
        }
        if (size < 8 || size > file_size - at) break;
        if (head[4] == 'm' && head[5] == 'o' && head[6] == 'o' && head[7] == 'v') {
            if (size > kMostReferenceMoovBytes || load_be32(head.data()) != size)
                return std::unexpected("参考文件 " + name + " 的moov太大");
            ByteString moov(static_cast<std::size_t>(size));
            in.seekg(static_cast<std::streamoff>(at));
            if (!in.read(reinterpret_cast<char*>(moov.data()),
                         static_cast<std::streamsize>(moov.size())))
                return std::unexpected("无法读取参考文件 " + name);
            auto movie = ParseReferenceMovie(ByteView(moov));
            if (!movie) return std::unexpected("参考文件 " + name + ": " + movie.error());
            return movie;
        }
        at += size;
    }
    return std::unexpected("参考文件 " + name + " 中没有moov");
}

}  // namespace tav

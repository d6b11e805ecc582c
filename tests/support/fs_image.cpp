#include "support/fs_image.hpp"

#include <sys/wait.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace tav::test {

CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string Quoted(const std::filesystem::path& path) {
    std::string out = "'";
    for (char c : path.string()) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

bool HaveTool(const std::string& name) {
    return RunCommand("PATH=\"$PATH:/sbin:/usr/sbin\" command -v " + name + " >/dev/null").status ==
           0;
}

void MakeSparseFile(const std::filesystem::path& path, std::int64_t bytes) {
    { std::ofstream create(path, std::ios::binary | std::ios::trunc); }
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(bytes));
}

std::optional<std::filesystem::path> MakeFatImage(const std::filesystem::path& path,
                                                  std::int64_t mib, int fat_bits, int spc,
                                                  const std::string& label) {
    MakeSparseFile(path, mib * 1024 * 1024);
    std::string command = "PATH=\"$PATH:/sbin:/usr/sbin\" mkfs.fat -F " + std::to_string(fat_bits) +
                          " -s " + std::to_string(spc);
    if (!label.empty()) command += " -n " + label;
    if (RunCommand(command + " " + Quoted(path)).status != 0) return std::nullopt;
    return path;
}

std::optional<std::filesystem::path> MakeNtfsImage(const std::filesystem::path& path,
                                                   std::int64_t mib, int cluster_bytes,
                                                   const std::string& label) {
    MakeSparseFile(path, mib * 1024 * 1024);
    std::string command =
        "PATH=\"$PATH:/sbin:/usr/sbin\" mkntfs -F -Q -q -s 512 -c " + std::to_string(cluster_bytes);
    if (!label.empty()) command += " -L " + label;
    if (RunCommand(command + " " + Quoted(path)).status != 0) return std::nullopt;
    return path;
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path, std::int64_t offset,
                                    std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    std::ifstream in(path, std::ios::binary);
    in.seekg(offset);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

void WriteBytes(const std::filesystem::path& path, std::int64_t offset,
                const std::vector<std::uint8_t>& bytes) {
    std::fstream io(path, std::ios::binary | std::ios::in | std::ios::out);
    io.seekp(offset);
    io.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::int64_t NumberAfter(const std::string& text, const std::string& key) {
    const auto at = text.find(key);
    if (at == std::string::npos) return -1;
    const auto start = text.find_first_of("0123456789", at + key.size());
    if (start == std::string::npos) return -1;
    const bool hex = text.compare(start, 2, "0x") == 0;
    return std::strtoll(text.c_str() + start + (hex ? 2 : 0), nullptr, hex ? 16 : 10);
}

}  // namespace tav::test

namespace tav::test {

std::int64_t NumberOnLine(const std::string& text, const std::string& key) {
    const auto at = text.find(key);
    if (at == std::string::npos) return -1;
    const auto newline = text.rfind('\n', at);
    const auto start = newline == std::string::npos ? 0 : newline + 1;
    const auto end = text.find('\n', at);
    return NumberAfter(text.substr(start, end == std::string::npos ? end : end - start), "");
}

}  // namespace tav::test

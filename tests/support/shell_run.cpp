#include "support/shell_run.hpp"

#include <sstream>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace tav::test {

std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string SlurpFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ShellResult RunShell(const std::string& command_line, const std::filesystem::path& scratch_dir) {
    const auto out = scratch_dir / "stdout.txt", err = scratch_dir / "stderr.txt";
    const std::string cmd = command_line + " >" + ShellQuote(out.string()) + " 2>" +
                            ShellQuote(err.string()) + " </dev/null";
    const int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, SlurpFile(out), SlurpFile(err)};
}

std::vector<std::string> FrameHashes(const std::filesystem::path& file,
                                     const std::filesystem::path& scratch_dir) {
    const auto run = RunShell(
        "ffmpeg -nostdin -v error -i " + ShellQuote(file.string()) + " -map 0:v -f framemd5 -",
        scratch_dir);
    std::vector<std::string> hashes;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line[0] != '#') hashes.push_back(line.substr(line.rfind(',') + 1));
    return hashes;
}

}  // namespace tav::test

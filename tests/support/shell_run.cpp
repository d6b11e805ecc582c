#include "support/shell_run.hpp"

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

}  // namespace tav::test

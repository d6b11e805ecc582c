#pragma once
// Running a command line as a user would, with its output captured.

#include <filesystem>
#include <string>
#include <vector>

namespace tav::test {

struct ShellResult {
    int exit_code = -1;  // -1 when the command did not exit normally
    std::string out, err;
};

// Quotes one argument for /bin/sh.
std::string ShellQuote(const std::string& s);
std::string SlurpFile(const std::filesystem::path& p);
// Runs command_line through /bin/sh with no standard input; stdout and stderr
// go through files in scratch_dir.
ShellResult RunShell(const std::string& command_line, const std::filesystem::path& scratch_dir);

// The MD5 of every video frame ffmpeg decodes from the file, in order.
std::vector<std::string> FrameHashes(const std::filesystem::path& file,
                                     const std::filesystem::path& scratch_dir);

}  // namespace tav::test

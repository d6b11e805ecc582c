#pragma once
// Runs an external program (ffmpeg, mkfs.fat, mtools, ntfs-3g) without a
// shell, collecting its standard output and error.

#include <string>
#include <vector>

namespace tav::cardgen {

struct ProcessResult {
    int exit_code = -1;  // -1 when the program could not be started or was killed
    std::string output;  // standard output followed by standard error, interleaved
    bool ok() const { return exit_code == 0; }
};

ProcessResult RunProcess(const std::vector<std::string>& argv);

// Starts a program that keeps running (its output goes to /dev/null);
// answers its process id, or -1.
int StartProcess(const std::vector<std::string>& argv);
// Waits for a started program to end; answers its exit code (-1 if killed).
int WaitProcess(int pid);

// "name: <first lines of output>" for error messages.
std::string DescribeFailure(const std::vector<std::string>& argv, const ProcessResult& result);

}  // namespace tav::cardgen

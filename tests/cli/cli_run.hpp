#pragma once
// The command line as a script runs it, in a test's own folder.

#include <string>

#include "support/shell_run.hpp"
#include "support/temp_dir.hpp"

namespace tav::test {

inline ShellResult Cli(const std::string& args, const TempDir& dir) {
    return RunShell(ShellQuote(TAV_CLI_EXE) + " " + args, dir.path());
}

}  // namespace tav::test

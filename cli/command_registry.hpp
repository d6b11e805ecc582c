#pragma once
// Commands of tavorine-mov-cli register themselves from their own files, so
// main() only parses and dispatches.

#include <functional>
#include <vector>

#include <CLI/CLI.hpp>

namespace tav::cli {

// Exit codes, as the README lists them for scripts.
enum ExitCode : int {
    kExitFound = 0,     // everything asked for was done whole
    kExitNothing = 1,   // nothing found (or nothing chosen)
    kExitError = 2,     // an error before any work: arguments, source, scan-result file
    kExitPartial = 3,   // some files failed or hold bytes that could not be read
    kExitStopped = 130  // stopped by Ctrl-C or SIGTERM
};

// Adds its subcommand to the app; the subcommand's callback stores the exit
// code in the int it is given.
using CommandSetup = std::function<void(CLI::App& app, int& exit_code)>;

std::vector<CommandSetup>& command_setups();

struct RegisterCommand {
    explicit RegisterCommand(CommandSetup setup) { command_setups().push_back(std::move(setup)); }
};

}  // namespace tav::cli

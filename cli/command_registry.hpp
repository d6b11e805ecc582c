#pragma once
// Commands of tavorine-mov-cli register themselves from their own files, so
// main() only parses and dispatches.

#include <functional>
#include <vector>

#include <CLI/CLI.hpp>

namespace tav::cli {

// Exit codes: 0 found/recovered something, 1 nothing, 2 error.
enum ExitCode : int { kExitFound = 0, kExitNothing = 1, kExitError = 2 };

// Adds its subcommand to the app; the subcommand's callback stores the exit
// code in the int it is given.
using CommandSetup = std::function<void(CLI::App& app, int& exit_code)>;

std::vector<CommandSetup>& command_setups();

struct RegisterCommand {
    explicit RegisterCommand(CommandSetup setup) { command_setups().push_back(std::move(setup)); }
};

}  // namespace tav::cli

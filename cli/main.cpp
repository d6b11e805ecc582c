#include <cstdio>
#include <exception>
#include <iostream>
#include <string>

#include "command_registry.hpp"

namespace tav::cli {
std::vector<CommandSetup>& command_setups() {
    static std::vector<CommandSetup> setups;
    return setups;
}
}  // namespace tav::cli

namespace {

int Run(int argc, char** argv) {
    using namespace tav::cli;
    CLI::App app{"Tavorine-MOV恢复工具 命令行版: 扫描并恢复佳能摄像机的MOV视频",
                 "tavorine-mov-cli"};
    app.set_version_flag("--version", std::string("tavorine-mov-cli ") + TAVORINE_VERSION,
                         "显示版本号并退出");
    app.require_subcommand(1);
    int exit_code = kExitError;
    for (auto& setup : command_setups()) setup(app, exit_code);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : kExitError;
    }
    return exit_code;
}

}  // namespace

int main(int argc, char** argv) {
    // Out of memory and the like: say so instead of aborting.
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fputs("tavorine-mov-cli: error: ", stderr);
        std::fputs(e.what(), stderr);
        std::fputs("\n", stderr);
    } catch (...) {
        std::fputs("tavorine-mov-cli: error: 未知错误\n", stderr);
    }
    return tav::cli::kExitError;
}

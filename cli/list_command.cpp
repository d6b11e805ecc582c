// `tavorine-mov-cli list`: the sources as the source step lists them.

#include <iostream>

#include "command_registry.hpp"
#include "platform/source_list.hpp"
#include "sources/volume_probe.hpp"

namespace tav::cli {

namespace {

int RunList() {
    const auto volumes = ListVolumes(FileSystemProbe());
    const auto disks = ListDisks();
    std::cout << "逻辑盘符列表\n";
    for (const auto& v : volumes) std::cout << "  " << v.text << "  (" << v.device << ")\n";
    std::cout << "物理硬盘列表\n";
    for (const auto& d : disks) std::cout << "  " << d.text << "  (" << d.device << ")\n";
    return volumes.empty() && disks.empty() ? kExitNothing : kExitFound;
}

const RegisterCommand kRegister([](CLI::App& app, int& exit_code) {
    CLI::App* cmd = app.add_subcommand("list", "列出可扫描的逻辑盘符和物理硬盘");
    cmd->callback([&exit_code] { exit_code = RunList(); });
});

}  // namespace

}  // namespace tav::cli

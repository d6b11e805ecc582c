// `tavorine-mov-cli list`: the sources as the source step lists them, each
// disk with the partitions its table holds (an attached card image too).

#include <iostream>

#include "command_registry.hpp"
#include "json_writer.hpp"
#include "platform/source_list.hpp"
#include "sources/partition_list.hpp"
#include "sources/volume_probe.hpp"

namespace tav::cli {

namespace {

struct ListedDisk {
    DiskEntry disk;
    std::vector<ListedPartition> partitions;
};

void WriteJson(std::ostream& out, const std::vector<VolumeEntry>& volumes,
               const std::vector<ListedDisk>& disks) {
    JsonWriter j(out);
    j.begin_object().key("format").value(std::int64_t{1}).key("volumes").begin_array();
    for (const auto& v : volumes)
        j.begin_object()
            .key("device")
            .value(v.device)
            .key("label")
            .value(v.label)
            .key("text")
            .value(v.text)
            .end_object();
    j.end_array().key("disks").begin_array();
    for (const auto& d : disks) {
        j.begin_object()
            .key("number")
            .value(std::int64_t{d.disk.number})
            .key("device")
            .value(d.disk.device)
            .key("text")
            .value(d.disk.text)
            .key("partitions")
            .begin_array();
        for (const auto& p : d.partitions)
            j.begin_object()
                .key("number")
                .value(std::int64_t{p.number})
                .key("offset")
                .value(p.offset)
                .key("length")
                .value(p.length)
                .key("file_system")
                .value(p.file_system)
                .key("label")
                .value(p.label)
                .key("text")
                .value(p.text)
                .end_object();
        j.end_array().end_object();
    }
    j.end_array().end_object();
    out << '\n';
}

int RunList(bool json) {
    const auto volumes = ListVolumes(FileSystemProbe());
    std::vector<ListedDisk> disks;
    for (DiskEntry& d : ListDisks()) {
        auto partitions = ListPartitions(d.device);
        disks.push_back({std::move(d), std::move(partitions)});
    }
    if (json) {
        WriteJson(std::cout, volumes, disks);
    } else {
        std::cout << "逻辑盘符列表\n";
        for (const auto& v : volumes) std::cout << "  " << v.text << "  (" << v.device << ")\n";
        std::cout << "物理硬盘列表\n";
        for (const auto& d : disks) {
            std::cout << "  " << d.disk.text << "  (" << d.disk.device << ")\n";
            for (const auto& p : d.partitions)
                std::cout << "    " << p.text << "  (--partition " << p.number << ")\n";
        }
    }
    return volumes.empty() && disks.empty() ? kExitNothing : kExitFound;
}

const RegisterCommand kRegister([](CLI::App& app, int& exit_code) {
    auto json = std::make_shared<bool>(false);
    CLI::App* cmd = app.add_subcommand("list", "列出可扫描的逻辑盘符和物理硬盘");
    cmd->add_flag("--json", *json, "以JSON输出列表");
    cmd->callback([json, &exit_code] { exit_code = RunList(*json); });
});

}  // namespace

}  // namespace tav::cli

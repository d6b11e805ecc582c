// Linux listing from sysfs: whole disks from <sys>/block, volumes (partitions
// and whole-disk file systems) from <sys>/class/block. Labels come from the
// udev by-label links, else from the probe, which reads the volume itself.

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>

#include "platform/source_list.hpp"

namespace tav {
namespace {

namespace fs = std::filesystem;

// Smallest device worth listing: an extended-partition container is 1-2
// sectors, and no file system fits below this.
constexpr std::int64_t kMinVolumeSectors = 64;

std::string ReadFirstLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    const auto first = line.find_first_not_of(' ');
    return first == std::string::npos ? std::string{} : line.substr(first);
}

std::int64_t SectorsOf(const fs::path& dir) {
    const std::string text = ReadFirstLine(dir / "size");
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc{} ? value : 0;
}

// Loop devices stay: an attached card image is read like a card.
bool IsExcludedName(const std::string& name) {
    return name.starts_with("ram") || name.starts_with("zram") ||
           (name.starts_with("mmcblk") && name.find("boot") != std::string::npos) ||
           name.ends_with("rpmb");
}

std::string CanonicalText(const fs::path& path) {
    std::error_code ec;
    const fs::path real = fs::canonical(path, ec);
    return ec ? path.string() : real.string();
}

bool HasPart(const std::string& path, const char* part) {
    return path.find(part) != std::string::npos;
}

int BusOf(const fs::path& disk_dir) {
    const std::string real = CanonicalText(disk_dir);
    if (HasPart(real, "/usb")) return kBusUsb;
    if (HasPart(real, "/nvme")) return kBusNvme;
    if (HasPart(real, "/mmc"))
        return ReadFirstLine(disk_dir / "device" / "type") == "MMC" ? kBusMmc : kBusSd;
    if (HasPart(real, "/ata")) return kBusAta;
    if (HasPart(real, "/virtio")) return kBusVirtual;
    if (HasPart(real, "/host")) return kBusScsi;
    return kBusUnknown;
}

bool IsLoop(const std::string& name) {
    return name.starts_with("loop");
}

// A loop device is named after the file it shows.
std::string ProductOf(const fs::path& disk_dir, const std::string& name) {
    if (IsLoop(name)) {
        const std::string file = ReadFirstLine(disk_dir / "loop" / "backing_file");
        return file.empty() ? name : name + " " + file;
    }
    for (const char* file : {"model", "name"}) {
        std::string text = ReadFirstLine(disk_dir / "device" / file);
        if (!text.empty()) return text;
    }
    return name;
}

// udev writes unsafe label bytes as \xNN.
std::string DecodeUdevName(const std::string& name) {
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        unsigned value = 0;
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' &&
            std::from_chars(name.data() + i + 2, name.data() + i + 4, value, 16).ptr ==
                name.data() + i + 4) {
            out += static_cast<char>(value);
            i += 3;
        } else {
            out += name[i];
        }
    }
    return out;
}

std::map<std::string, std::string> LabelsByDevice(const fs::path& dev_root) {
    std::map<std::string, std::string> labels;
    std::error_code ec;
    for (const auto& link : fs::directory_iterator(dev_root / "disk" / "by-label", ec))
        labels[CanonicalText(link.path())] = DecodeUdevName(link.path().filename().string());
    return labels;
}

bool HasPartitions(const fs::path& disk_dir) {
    std::error_code ec;
    for (const auto& child : fs::directory_iterator(disk_dir, ec))
        if (fs::exists(child.path() / "partition", ec)) return true;
    return false;
}

// A disk without a partition table that carries a file system itself, as
// cameras often format cards.
bool IsWholeDiskVolume(const fs::path& dir, const std::string& device,
                       const std::map<std::string, std::string>& labels, const VolumeProbe& probe) {
    if (HasPartitions(dir)) return false;
    return labels.contains(CanonicalText(device)) ||
           (probe.holds_file_system && probe.holds_file_system(device));
}

std::vector<std::string> SortedNames(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        names.push_back(entry.path().filename().string());
    std::ranges::sort(names);
    return names;
}

std::string LabelOf(const std::string& device, const std::map<std::string, std::string>& labels,
                    const VolumeProbe& probe) {
    const auto it = labels.find(CanonicalText(device));
    if (it != labels.end()) return it->second;
    return probe.label ? probe.label(device) : std::string{};
}

}  // namespace

std::vector<VolumeEntry> ListVolumes(const VolumeProbe& probe, const ListRoots& roots) {
    const fs::path class_dir = fs::path(roots.sys) / "class" / "block";
    const auto labels = LabelsByDevice(roots.dev);
    std::vector<VolumeEntry> volumes;
    std::error_code ec;
    for (const std::string& name : SortedNames(class_dir)) {
        const fs::path dir = class_dir / name;
        if (IsExcludedName(name) || SectorsOf(dir) < kMinVolumeSectors) continue;
        const std::string device = (fs::path(roots.dev) / name).string();
        if (!fs::exists(dir / "partition", ec) && !IsWholeDiskVolume(dir, device, labels, probe))
            continue;
        const std::string label = LabelOf(device, labels, probe);
        std::string text = name;
        text.append(":").append(label);
        volumes.push_back({device, label, std::move(text)});
    }
    return volumes;
}

std::vector<DiskEntry> ListDisks(const ListRoots& roots) {
    const fs::path block_dir = fs::path(roots.sys) / "block";
    std::vector<DiskEntry> disks;
    // Loop devices come after the real disks, so that those keep their numbers.
    for (const bool loops : {false, true})
        for (const std::string& name : SortedNames(block_dir)) {
            const fs::path dir = block_dir / name;
            const std::int64_t sectors = SectorsOf(dir);
            if (IsLoop(name) != loops || IsExcludedName(name) || sectors <= 0) continue;
            if (!loops && HasPart(CanonicalText(dir), "/virtual/")) continue;
            const int number = static_cast<int>(disks.size());
            disks.push_back(
                {number, (fs::path(roots.dev) / name).string(),
                 DiskLineText(number, ProductOf(dir, name), static_cast<double>(sectors),
                              loops ? kBusVirtual : BusOf(dir))});
        }
    return disks;
}

}  // namespace tav

#pragma once
// The sources the source step lists. On Linux: volumes are partitions and
// whole-disk file systems (block devices), disks are whole block devices.

#include <functional>
#include <string>
#include <vector>

namespace tav {

struct VolumeEntry {
    std::string device;  // path to open: "/dev/sdb1" (Linux), "\\.\E:" (Windows)
    std::string label;
    std::string text;  // tree text: name + ":" + label, e.g. "sdb1:DATA" or "E:DATA"
};

struct DiskEntry {
    int number = 0;      // the listed disk number
    std::string device;  // path to open: "/dev/sdb" (Linux), "\\.\PhysicalDrive1" (Windows)
    std::string text;    // e.g. "HDD0:ST500DM002 (465.76 GB，ATA)"
};

// Where the Linux listing looks; tests point these at a fake tree.
struct ListRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
};

// What only a reader of file systems can tell about a device, asked by the
// Linux listing: whether a whole disk without partitions carries a file
// system itself, and a label that udev does not know. Empty answers no.
struct VolumeProbe {
    std::function<bool(const std::string& device)> holds_file_system;
    std::function<std::string(const std::string& device)> label;
};

// Windows asks the system for both and ignores probe and roots.
std::vector<VolumeEntry> ListVolumes(const VolumeProbe& probe, const ListRoots& roots = {});
std::vector<DiskEntry> ListDisks(const ListRoots& roots = {});

// Helpers of the disk line, pure: "%f GB"/"%f MB" with two decimals, bus names.
std::string DiskSizeText(double total_sectors);
std::string BusName(int code);

// Storage bus codes as the system reports them.
enum BusCode : int {
    kBusUnknown = 0,
    kBusScsi = 1,
    kBusAta = 3,
    kBusUsb = 7,
    kBusSata = 11,
    kBusSd = 12,
    kBusMmc = 13,
    kBusVirtual = 14,
    kBusNvme = 17,
};

// "HDD0:ST500DM002 (465.76 GB，ATA)"; "RM  " instead of "HDD" for a USB
// disk (or a memory card) below 40 GB.
std::string DiskLineText(int number, const std::string& product, double total_sectors,
                         int bus_code);

}  // namespace tav

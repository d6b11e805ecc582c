#pragma once
// The sources the source step lists. On Linux: volumes are partitions and
// whole-disk file systems (block devices), disks are whole block devices.

#include <string>
#include <vector>

namespace tav {

struct VolumeEntry {
    std::string device;  // path to open: "/dev/sdb1" (Linux), "E:" (Windows)
    std::string label;
    std::string text;  // tree text: name + ":" + label, e.g. "sdb1:DATA" or "E:DATA"
};

struct DiskEntry {
    int number = 0;      // the listed disk number
    std::string device;  // path to open: "/dev/sdb" (Linux), "\\.\PhysicalDrive1" (Windows)
    std::string text;    // e.g. "HDD0:ST500DM002 (465.76 GB，ATA)"
};

std::vector<VolumeEntry> ListVolumes();
std::vector<DiskEntry> ListDisks();

// Where the Linux listing looks; tests point these at a fake tree.
struct ListRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
};
std::vector<VolumeEntry> ListVolumes(const ListRoots& roots);
// Also records the number -> device mapping that a disk line resolves through.
std::vector<DiskEntry> ListDisks(const ListRoots& roots);

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

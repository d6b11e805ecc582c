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

// Helpers of the disk line, pure: "%f GB"/"%f MB" with two decimals, bus names.
std::string DiskSizeText(double total_sectors);
std::string BusName(int code);

}  // namespace tav

// The texts of a disk line, pure.

#include <cstdio>

#include "platform/source_list.hpp"

namespace tav {
namespace {

constexpr double kRemovableBelowGb = 40.0;

double Megabytes(double total_sectors) {
    return total_sectors / 2048.0;
}

bool IsCardLikeBus(int code) {
    return code == kBusUsb || code == kBusSd || code == kBusMmc;
}

}  // namespace

std::string DiskSizeText(double total_sectors) {
    const double mb = Megabytes(total_sectors);
    char text[64];
    if (mb >= 1000.0)
        std::snprintf(text, sizeof text, "%.2f GB", mb / 1024.0);
    else
        std::snprintf(text, sizeof text, "%.2f MB", mb);
    return text;
}

std::string BusName(int code) {
    switch (code) {
        case 0:
            return "Unknow";
        case 1:
            return "SCSI";
        case 2:
            return "Atapi";
        case 3:
            return "ATA";
        case 4:
            return "1394";
        case 5:
            return "SSA";
        case 6:
            return "Fibre";
        case 7:
            return "USB";
        case 8:
            return "RAID";
        case 127:
            return "MaxReserved";
        // Codes the classic table has no name for.
        case 9:
            return "iSCSI";
        case 10:
            return "SAS";
        case 11:
            return "SATA";
        case 12:
            return "SD";
        case 13:
            return "MMC";
        case 14:
            return "Virtual";
        case 15:
            return "VHD";
        case 16:
            return "Spaces";
        case 17:
            return "NVMe";
        case 18:
            return "SCM";
        case 19:
            return "UFS";
        default:
            return "Unknow";
    }
}

std::string DiskLineText(int number, const std::string& product, double total_sectors,
                         int bus_code) {
    const bool removable =
        IsCardLikeBus(bus_code) && Megabytes(total_sectors) / 1024.0 < kRemovableBelowGb;
    const std::string type = removable ? "RM  " : "HDD";
    return type + std::to_string(number) + ":" + product + " (" + DiskSizeText(total_sectors) +
           "，" + BusName(bus_code) + ")";
}

}  // namespace tav

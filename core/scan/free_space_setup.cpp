#include "scan/free_space_setup.hpp"

#include "common/decimal.hpp"
#include "common/log_line.hpp"
#include "scan/scan_geometry.hpp"

namespace tav {

namespace {

std::string RegionText(const char* offset_label, const char* length_label,
                       const FreeSpaceRegion& region) {
    return std::string(offset_label) + dec(region.offset) + "Byte  " + length_label +
           dec(region.length) + "Byte";
}

}  // namespace

std::optional<FreeSpaceRegion> SetUpFreeSpace(const SourceReader& source, const TDiskInfo& info,
                                              WorkerReporter& reporter) {
    if (!IsNtfs(info) && !IsClusterHeap(info)) {
        reporter.message_box(
            {"文件系统错误", "非NTFS或者FAT文件系统，无法开启扫描空闲空间功能，请重新选择！"});
        return std::nullopt;
    }
    reporter.log_line(make_log_line("开启了空闲空间扫描功能，开始定位并检测元文件......"));
    if (IsNtfs(info)) {
        FreeSpaceRegion region = LocateBitmap(source, info);
        if (region.empty()) {
            reporter.message_box({"获取$BITMAP失败", "$BITMAP偏移获取出错，程序将退出！"});
            return std::nullopt;
        }
        reporter.log_line(make_log_line(RegionText("$BitMap所在偏移:  ", "$BitMap长度:", region)));
        return region;
    }
    if (info.FileSystem == "exFAT") {
        FreeSpaceRegion region = LocateExfatBitmap(source, info);
        if (region.empty()) {
            reporter.message_box({"获取BITMAP失败", "exFAT分配位图偏移获取出错，程序将退出！"});
            return std::nullopt;
        }
        reporter.log_line(
            make_log_line(RegionText("分配位图所在偏移:  ", "分配位图长度:", region)));
        return region;
    }
    if (!LocateFat(source, info)) {
        reporter.message_box({"FAT偏移获取出错", "FAT偏移获取出错，程序将退出！"});
        return std::nullopt;
    }
    FreeSpaceRegion region = FatRegion(info);
    reporter.log_line(make_log_line(RegionText("Fat表所在偏移:  ", "Fat表长度:", region)));
    return region;
}

}  // namespace tav

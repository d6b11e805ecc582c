#include "scan/scan_start.hpp"

#include "common/decimal.hpp"

namespace tav {

namespace {

void add_range_lines(std::vector<std::string>& lines, const TDiskInfo& info, bool with_cluster) {
    lines.push_back("文件系统:  " + info.FileSystem);
    lines.push_back("扇区大小:  " + std::to_string(info.BytesPerSector) + "Byte");
    if (with_cluster)
        lines.push_back("    簇大小:  " + std::to_string(info.SectorsPerCluster) + "Sec");
    lines.push_back("起始扇区:  " + dec(info.StartSector));
    lines.push_back("结束扇区:  " + dec(info.EndSector));
    lines.push_back("开始扫描......");
}

}  // namespace

SourceSelection SelectionOf(MeasuredSource source, std::string text, std::string label,
                            bool is_image) {
    TDiskInfo info = source.info;
    return {std::move(text), std::move(label), is_image, std::move(info), std::move(source)};
}

ScanStartPlan PlanScanStart(const SourceSelection& selection, const ScanSettings& settings) {
    ScanStartPlan plan;
    const TDiskInfo& info = selection.DiskInfo;
    auto& lines = plan.header_messages;
    lines.push_back((selection.SourceIsImage ? "镜像文件:  " : "扫描盘符:  ") +
                    selection.SourceLabel);

    if (selection.SourceIsImage) {
        if (info.FileSystem == "Raw") {
            lines.push_back("扫描方式:  深入扫描");
            add_range_lines(lines, info, false);
            plan.ScanKind = kKindRawImage;
            plan.ScanAllSpace = 1;
        } else {
            // A file-system image is logged as a deletion scan whatever the
            // fault type; it is scanned with the chosen one.
            lines.push_back("扫描方式:  误删除");
            add_range_lines(lines, info, true);
            plan.ScanKind = settings.ScanMode;
            plan.ScanAllSpace = settings.FormatScheme;
        }
        return plan;
    }
    switch (settings.ScanMode) {
        case kModeDeletion:
            lines.push_back("扫描方式:  误删除");
            add_range_lines(lines, info, true);
            plan.ScanKind = kKindDeleted;
            plan.ScanAllSpace = 0;
            break;
        case kModeFormat:
            lines.push_back("扫描方式:  误格式化");
            add_range_lines(lines, info, true);
            plan.ScanKind = kKindFormatted;
            plan.ScanAllSpace = settings.FormatScheme;
            break;
        default:
            lines.push_back("扫描方式:  深入扫描");
            add_range_lines(lines, info, false);
            plan.ScanKind = kKindDeep;
            plan.ScanAllSpace = 1;
            break;
    }
    return plan;
}

}  // namespace tav

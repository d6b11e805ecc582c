#include "checkpoint_offer.hpp"

#include <QDir>
#include <QStandardPaths>
#include <algorithm>
#include <filesystem>

#include "common/progress_meter.hpp"
#include "common/utf8_path.hpp"
#include "recovery/checkpoint_resume.hpp"

namespace tav::app {

std::string DefaultCheckpointFolder() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (data.isEmpty()) return {};
    return QDir(data).filePath(QStringLiteral("checkpoints")).toStdString();
}

std::string CheckpointPathOf(const AppContext& ctx) {
    if (ctx.checkpoint_folder.empty()) return {};
    const MeasuredSource& source = ctx.selection.Source;
    return Utf8FromPath(PathFromUtf8(ctx.checkpoint_folder) /
                        PathFromUtf8(CheckpointFileName(source.path, source.partition)));
}

std::string ResumeQuestion(const ScanCheckpoint& checkpoint, const TDiskInfo& disk) {
    const SweepState& sweep = checkpoint.sweep;
    std::string where = "已扫描到结尾";
    if (sweep.phase == SweepState::Phase::Sweep && disk.EndSector > 0) {
        const auto percent = std::clamp<std::int64_t>(sweep.w * 100 / disk.EndSector, 0, 99);
        where = "已扫描到 " + std::to_string(percent) + "%";
    }
    return "此源盘有一次未完成的扫描：" + where + "（已读取 " +
           ByteSizeText(sweep.reader.bytes_read) + "），已发现视频 " +
           std::to_string(sweep.video_count) +
           " 个。\n是否继续上次未完成的扫描？选择“否”将从头开始扫描。";
}

std::optional<ScanCheckpoint> OfferResume(AppContext& ctx, QWidget* owner,
                                          const std::string& path) {
    if (path.empty()) return std::nullopt;
    const std::filesystem::path file = PathFromUtf8(path);
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return std::nullopt;
    auto checkpoint = LoadCheckpoint(path);
    if (!checkpoint) {
        // Torn or damaged: there is nothing to go on from.
        std::filesystem::remove(file, ec);
        return std::nullopt;
    }
    // A resume scans as the checkpoint's scan did: judge the source by that.
    ScanSettings settings = ctx.settings;
    ApplyCheckpointSettings(checkpoint->settings, settings);
    if (ResumeMismatch(*checkpoint, ctx.selection, PlanScanStart(ctx.selection, settings)))
        return std::nullopt;
    const MsgAnswer answer =
        ctx.ask(owner, "提示", ResumeQuestion(*checkpoint, ctx.selection.DiskInfo),
                MsgIcon::Question, MsgButtons::YesNo);
    if (answer == MsgAnswer::Yes) return std::move(*checkpoint);
    std::filesystem::remove(file, ec);
    return std::nullopt;
}

}  // namespace tav::app

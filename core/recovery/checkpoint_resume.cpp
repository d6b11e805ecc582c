#include "recovery/checkpoint_resume.hpp"

#include "common/utf8_path.hpp"
#include "platform/atomic_file.hpp"

#include <algorithm>
#include <filesystem>

#include "recovery/source_match.hpp"
#include "sources/source_fingerprint.hpp"

namespace tav {

namespace {

// Enough start regions to tell two cards apart, few enough reads on a card
// that may be failing.
constexpr std::size_t kMostStartChecks = 64;

}  // namespace

SourceIdentity IdentifySource(const SourceReader& whole, const std::string& path, int partition,
                              std::int64_t volume_offset) {
    return {path, partition, whole.size(), SourceFingerprint(whole, volume_offset)};
}

std::optional<std::string> CheckpointMismatch(const ScanCheckpoint& checkpoint,
                                              const SourceReader& whole,
                                              std::int64_t volume_offset) {
    const SourceIdentity& was = checkpoint.source;
    if (whole.size() != was.size)
        return "大小不同（" + std::to_string(whole.size()) + " Byte，扫描进度记录的是 " +
               std::to_string(was.size) + " Byte）";
    if (SourceFingerprint(whole, volume_offset) != was.fingerprint)
        return std::string("开头或结尾的扇区内容不同");
    const auto missing = MissingStartFragments(whole, checkpoint.fragments, kMostStartChecks);
    if (!missing.empty()) return "第" + missing.front() + "个碎片的视频开头不在记录的位置";
    return std::nullopt;
}

std::expected<ScanCheckpoint, std::string> StartCheckpoint(const SourceSelection& selection,
                                                           const ScanSettings& settings,
                                                           const ScanStartPlan& plan,
                                                           const TableSet& fields) {
    const MeasuredSource& m = selection.Source;
    auto whole = SourceReader::open(m.path);
    if (!whole) return std::unexpected("无法打开 " + m.path + "：" + whole.error().reason);
    ScanCheckpoint c;
    c.source = IdentifySource(*whole, m.path, m.partition,
                              std::max<std::int64_t>(selection.DiskInfo.VolumeOffset, 0));
    c.settings.scan_mode = settings.ScanMode;
    c.settings.format_scheme = settings.FormatScheme;
    c.settings.tagged_only = !ScansAnyVideo(settings);
    c.settings.large_only = settings.LargeFileOnly;
    c.settings.scan_kind = plan.ScanKind;
    c.settings.scan_all_space = plan.ScanAllSpace;
    c.source_field = fields.source_field;
    c.file_type = fields.file_type;
    return c;
}

std::expected<ScanCheckpoint, std::string> LoadCheckpoint(const std::string& path) {
    const auto bytes = ReadWholeFile(path);
    if (!bytes) return std::unexpected("无法读取扫描进度文件 " + path + "：" + bytes.error());
    auto c = DecodeCheckpoint(*bytes);
    if (!c) return std::unexpected(path + "：" + c.error());
    return c;
}

void ApplyCheckpointSettings(const CheckpointSettings& saved, ScanSettings& settings) {
    settings.ScanMode = saved.scan_mode;
    settings.FormatScheme = static_cast<std::uint8_t>(saved.format_scheme);
    settings.FileTypeMov = saved.tagged_only;
    settings.FileTypeAnyVideo = !saved.tagged_only;
    settings.LargeFileOnly = saved.large_only;
}

std::optional<std::string> ResumeMismatch(const ScanCheckpoint& checkpoint,
                                          const SourceSelection& selection,
                                          const ScanStartPlan& plan) {
    const MeasuredSource& m = selection.Source;
    if (m.partition != checkpoint.source.partition) return std::string("分区不同");
    if (plan.ScanKind != checkpoint.settings.scan_kind ||
        plan.ScanAllSpace != checkpoint.settings.scan_all_space)
        return std::string("文件系统或扫描方式不同");
    auto whole = SourceReader::open(m.path);
    if (!whole) return "无法打开 " + m.path + "：" + whole.error().reason;
    return CheckpointMismatch(checkpoint, *whole,
                              std::max<std::int64_t>(selection.DiskInfo.VolumeOffset, 0));
}

void RestoreCheckpointTables(const ScanCheckpoint& checkpoint, const std::string& source_field,
                             ScanTables& tables) {
    tables.with([&](TableSet& t) {
        t.clear_tables();
        t.source_field = source_field;
        t.file_type = checkpoint.file_type;
        for (const TableRow& row : checkpoint.fragments)
            t.fragments.add_row(row.cells, row.checked);
    });
}

void BeginScanTables(const ScanCheckpoint* resumed, const std::string& source_field,
                     const ScanSettings& settings, ScanTables& tables) {
    if (resumed) {
        RestoreCheckpointTables(*resumed, source_field, tables);
        return;
    }
    tables.with([&](TableSet& t) {
        t.clear_tables();
        t.source_field = source_field;
        t.file_type = FileTypeText(settings);
    });
}

std::expected<ScanCheckpoint, std::string> CheckpointHeadFor(
    const std::string& path, const ScanCheckpoint* resumed, const SourceSelection& selection,
    const ScanSettings& settings, const ScanStartPlan& plan, const ScanTables& tables) {
    std::error_code ec;
    std::filesystem::create_directories(PathFromUtf8(path).parent_path(), ec);
    if (resumed) return *resumed;
    return StartCheckpoint(selection, settings, plan, tables.snapshot());
}

}  // namespace tav

#include "recovery/rebuild_worker.hpp"

#include <chrono>
#include <filesystem>
#include <limits>

#include "common/decimal.hpp"
#include "common/log_line.hpp"
#include "common/utf8_path.hpp"
#include "platform/source_reader.hpp"
#include "recovery/copy_fragments.hpp"
#include "recovery/output_extension.hpp"
#include "recovery/output_name.hpp"
#include "recovery/rebuild_rows.hpp"
#include "recovery/rebuilt_copy.hpp"
#include "recovery/row_plan.hpp"

namespace tav {

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(100);

// Progress at most every kProgressInterval: a fast disk would otherwise
// flood the window with one update per 64 KiB block.
class ThrottledProgress {
  public:
    ThrottledProgress(WorkerReporter& reporter, SaveProgress& progress)
        : reporter_(reporter), progress_(progress), file_start_(progress.all_done) {}
    void operator()(std::int64_t mark) {
        progress_.file_done = mark;
        progress_.all_done = file_start_ + mark;
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < kProgressInterval) return;
        last_ = now;
        reporter_.status_text(2, "已写入:" + dec(mark) + "Byte");
        reporter_.save_progress(progress_);
    }

  private:
    WorkerReporter& reporter_;
    SaveProgress& progress_;
    const std::int64_t file_start_;
    std::chrono::steady_clock::time_point last_{};
};

std::expected<const RebuiltFile*, std::string> RebuiltFor(const RebuiltFiles* rebuilt,
                                                          const TableSet& t, std::size_t s) {
    return tav::RebuiltFor(rebuilt, t, ReadRebuildRow(t.results, s),
                           t.results.cell(s, resc::Quality));
}

// A file already in the folder (one saved before, or anything else) is
// kept: the new one takes a free name beside it.
std::string OutputPath(const std::string& folder, const std::string& name) {
    return Utf8FromPath(FreeOutputPath(PathFromUtf8(folder), name));
}

}  // namespace

TPstRebuild::TPstRebuild(RebuildParams params, ScanTables& tables, WorkerReporter& reporter,
                         std::atomic<bool>& save_in_progress, RebuildHooks hooks)
    : params_(std::move(params)),
      tables_(tables),
      reporter_(reporter),
      save_in_progress_(save_in_progress),
      hooks_(std::move(hooks)) {
    if (!hooks_.query_free_space) hooks_.query_free_space = QueryFreeSpace;
    if (!hooks_.create_output) {
        hooks_.create_output =
            [](const std::string& path) -> std::expected<std::unique_ptr<OutputSink>, std::string> {
            auto sink = FileSink::create(path);
            if (!sink) return std::unexpected(sink.error());
            return std::unique_ptr<OutputSink>(std::move(*sink));
        };
    }
}

TPstRebuild::~TPstRebuild() {
    Join();
}

void TPstRebuild::Start() {
    thread_.start([this] { Execute(); });
}

void TPstRebuild::Join() {
    thread_.join();
}

void TPstRebuild::Execute() {
    save_in_progress_ = true;
    summary_ = {};
    auto source = OpenSource(hooks_.open_source, params_.source_path);
    if (!source) {
        ReportSourceFailure(source.error());
    } else {
        reporter_.status_text(0, "开始重组......");
        if (CheckSpace(*source)) SaveTickedRows(*source);
    }
    reporter_.status_text(0, "就绪");
    reporter_.status_text(2, "");
    save_in_progress_ = false;
}

void TPstRebuild::ReportSourceFailure(const OpenError& error) {
    summary_.end = RebuildEnd::SourceFailed;
    const std::string text = "无法打开要恢复的源“" + error.path + "”：" + error.reason;
    reporter_.log_line(make_log_line(text));
    reporter_.message_box(UserMessage{"提示", text, MsgIcon::Warning, MsgButtons::Ok});
}

bool TPstRebuild::stop_requested() const {
    return params_.stop != nullptr && params_.stop->load() != 0;
}

namespace {

// The bytes the save will write: the fragment ranges of the ticked rows as
// they will be read, clipped to the source. The rows' length texts are only
// estimates, and a damaged or hostile scan-result file can make them say
// anything.
std::int64_t PlannedBytes(const TableSet& tables, const RebuiltFiles* rebuilt,
                          std::int64_t source_size) {
    std::int64_t sum = 0;
    const TextTable& results = tables.results;
    for (std::size_t s = 0; s < results.row_count(); ++s) {
        if (!results.checked(s)) continue;
        const auto header = RebuiltFor(rebuilt, tables, s);
        const auto ranges = ResolveFragments(tables, ReadRebuildRow(results, s));
        const auto bytes = header && *header  ? static_cast<std::int64_t>((*header)->size())
                           : header && ranges ? PlannedOutputBytes(*ranges, source_size)
                                              : std::expected<std::int64_t, CopyError>(0);
        const std::int64_t n = bytes ? *bytes : 0;  // a row that cannot be copied writes nothing
        sum = n > std::numeric_limits<std::int64_t>::max() - sum
                  ? std::numeric_limits<std::int64_t>::max()
                  : sum + n;
    }
    return sum;
}

}  // namespace

bool TPstRebuild::CheckSpace(const SourceReader& source) {
    reporter_.log_line(make_log_line("开始计算输出盘符剩余空间......"));
    std::uint64_t free_bytes = 0;
    if (const auto space = hooks_.query_free_space(params_.output_folder)) {
        free_bytes = space->free_bytes;
        reporter_.log_line(make_log_line("输出盘符" + space->drive +
                                         "剩余空间为:" + std::to_string(free_bytes) + "Byte"));
    } else {
        reporter_.log_line(make_log_line("输出盘符剩余空间计算失败"));
    }
    reporter_.log_line(make_log_line("开始计算所选文件的长度......"));
    const std::int64_t size = source.size();
    const std::int64_t sum =
        tables_.with([&](const TableSet& t) { return PlannedBytes(t, params_.rebuilt, size); });
    reporter_.log_line(make_log_line("所选文件长度为" + dec(sum) + "Byte"));
    summary_.free_bytes = free_bytes > static_cast<std::uint64_t>(INT64_MAX)
                              ? INT64_MAX
                              : static_cast<std::int64_t>(free_bytes);
    summary_.selected_bytes = sum;
    progress_ = SaveProgress{};
    progress_.all_total = sum;
    if (static_cast<std::uint64_t>(sum) < free_bytes) return true;
    summary_.end = RebuildEnd::TooLittleSpace;
    reporter_.message_box(
        UserMessage{"提示", "保存路径中输出磁盘容量太小，请重新选择容量较大的盘符来保存文件！",
                    MsgIcon::Question, MsgButtons::Ok});
    return false;
}

void TPstRebuild::SaveTickedRows(const SourceReader& source) {
    const std::size_t rows = tables_.with([](const TableSet& t) { return t.results.row_count(); });
    reporter_.gauge_range(0, static_cast<std::int64_t>(rows));
    reporter_.gauge_position(0);
    progress_.file_count = tables_.with([](const TableSet& t) {
        std::int64_t ticked = 0;
        for (std::size_t s = 0; s < t.results.row_count(); ++s) ticked += t.results.checked(s);
        return ticked;
    });
    for (std::size_t s = 0; s < rows; ++s) {
        if (stop_requested()) {
            summary_.end = RebuildEnd::Stopped;
            reporter_.log_line(make_log_line("保存已停止"));
            break;
        }
        RebuildRow row;
        std::string quality;
        std::expected<FragmentRanges, std::string> ranges;
        const RebuiltFile* rebuilt = nullptr;
        const bool ticked = tables_.with([&](const TableSet& t) {
            if (s >= t.results.row_count() || !t.results.checked(s)) return false;
            row = ReadRebuildRow(t.results, s);
            quality = t.results.cell(s, resc::Quality);
            const auto header = RebuiltFor(params_.rebuilt, t, s);
            ranges = header ? ResolveFragments(t, row) : std::unexpected(header.error());
            rebuilt = header.value_or(nullptr);
            return true;
        });
        if (!ticked) continue;
        ++progress_.file_number;
        const std::int64_t before = progress_.all_done;
        const auto planned = rebuilt  ? static_cast<std::int64_t>(rebuilt->size())
                             : ranges ? PlannedOutputBytes(*ranges, source.size())
                                      : std::expected<std::int64_t, CopyError>(0);
        progress_.file_total = planned ? *planned : 0;
        progress_.file_done = 0;
        summary_.files.push_back(SaveOne(source, row, s, ranges, rebuilt));
        summary_.files.back().quality = std::move(quality);
        // The planned bytes count as done whatever happened to the file.
        progress_.file_done = progress_.file_total;
        progress_.all_done = before + progress_.file_total;
        reporter_.save_progress(progress_);
        tables_.with([&](TableSet& t) {
            if (t.results.cell(s, resc::Number) == row.number) t.results.set_checked(s, false);
        });
        reporter_.table_changed(TableId::Results);
        reporter_.gauge_position(static_cast<std::int64_t>(s) + 1);
    }
}

SavedFile TPstRebuild::SaveOne(const SourceReader& source, const RebuildRow& row, std::size_t s,
                               const std::expected<FragmentRanges, std::string>& ranges,
                               const RebuiltFile* rebuilt) {
    const std::string extension = ranges ? OutputExtension(source, *ranges) : ".mov";
    SavedFile saved{row.number,
                    s,
                    OutputPath(params_.output_folder,
                               MakeOutputName(row.number, row.frames, row.shoot_date, extension)),
                    false,
                    {}};
    const std::string pos = std::to_string(s);
    reporter_.status_text(2, "当前保存编号为:" + row.number);
    reporter_.log_line(make_log_line("准备写入编号" + pos + "文件......"));
    saved.rebuilt = rebuilt != nullptr;
    if (rebuilt)
        WriteRebuilt(source, *rebuilt, saved);
    else if (ranges)
        WriteOutput(source, *ranges, saved);
    else
        saved.error = ranges.error();
    if (!saved.written) {
        reporter_.log_line(make_log_line("编号" + pos + ": " + saved.error));
        reporter_.log_line(make_log_line("编号" + pos + "写入失败"));
    } else if (saved.unreadable_bytes > 0) {
        reporter_.log_line(make_log_line("编号" + pos + "写入完成，但有" +
                                         dec(saved.unreadable_bytes) +
                                         "Byte无法从源盘读取，已用零填充"));
    } else {
        reporter_.log_line(make_log_line("编号" + pos + "写入成功"));
    }
    return saved;
}

void TPstRebuild::WriteOutput(const SourceReader& source, const FragmentRanges& ranges,
                              SavedFile& saved) {
    WriteWith(saved, [&](OutputSink& sink, const CopyProgress& progress) {
        return AssembleFragments(source, sink, ranges, progress);
    });
}

void TPstRebuild::WriteRebuilt(const SourceReader& source, const RebuiltFile& file,
                               SavedFile& saved) {
    WriteWith(saved, [&](OutputSink& sink, const CopyProgress& progress) {
        return WriteRebuiltFile(source, sink, file, progress);
    });
}

template <class Copy>
void TPstRebuild::WriteWith(SavedFile& saved, Copy&& copy) {
    auto sink = hooks_.create_output(saved.path);
    if (!sink) {
        saved.error = "无法创建输出文件 " + sink.error();
        return;
    }
    ThrottledProgress progress(reporter_, progress_);
    const auto copied = copy(**sink, [&](std::int64_t n) { progress(n); });
    if (!copied) {
        (*sink)->discard();
        saved.error = DescribeCopyError(copied.error());
        return;
    }
    if (!(*sink)->close()) {
        saved.error = "关闭输出文件失败: " + (*sink)->last_error();
        (*sink)->discard();
        return;
    }
    saved.written = true;
    saved.bytes = copied->written;
    saved.unreadable_bytes = copied->unreadable_bytes();
}

}  // namespace tav

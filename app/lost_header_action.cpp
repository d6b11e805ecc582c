#include "lost_header_action.hpp"

#include <QProgressDialog>
#include <filesystem>
#include <memory>

#include "background_job.hpp"
#include "common/worker_thread.hpp"
#include "form2.hpp"
#include "form3.hpp"
#include "form4.hpp"
#include "recovery/reference_file.hpp"
#include "table_refresher.hpp"

namespace tav::app {

namespace {

// Another job that works on the tables (or reads the rebuilt headers) first.
bool Busy(AppContext& ctx) {
    const Forms& f = ctx.forms;
    return (f.form3 && f.form3->scanning()) || (f.form2 && f.form2->file_job_running()) ||
           (f.form4 && f.form4->saving());
}

std::string Report(const LostHeaders& lost) {
    if (lost.found.empty()) return "没有缺少文件头的视频";
    std::string text = "已重建" + std::to_string(lost.rebuilt.size()) + "个视频的文件头";
    for (const LostHeader& h : lost.found)
        if (!h.rebuilt) text += "\n" + DescribeNotRebuilt(h);
    if (lost.stopped) text += "\n重建已停止，其余视频未处理";
    return text;
}

// The rebuild reads every lost clip's media data: on a thread of its own,
// so the window stays drawn and the user can stop it.
class RebuildJob {
  public:
    RebuildJob(SourceReader source, ScanTables& tables, ReferenceMovie reference,
               std::optional<FollowSetup> grid, const StopFlag& stop, LostHeaders& result)
        : source_(std::move(source)),
          tables_(tables),
          reference_(std::move(reference)),
          grid_(std::move(grid)),
          stop_(stop),
          result_(result) {}
    void Start() {
        thread_.start([this] {
            result_ = RebuildUnpairedHeads(source_, tables_, {reference_}, &stop_,
                                           grid_ ? &*grid_ : nullptr);
        });
    }
    void Join() { thread_.join(); }

  private:
    SourceReader source_;
    ScanTables& tables_;
    ReferenceMovie reference_;
    std::optional<FollowSetup> grid_;  // where a split clip's pieces may lie
    const StopFlag& stop_;
    LostHeaders& result_;
    WorkerThread thread_;
};

LostHeaders RunRebuild(AppContext& ctx, QWidget* owner, SourceReader source,
                       ReferenceMovie reference) {
    StopFlag stop{0};
    QProgressDialog progress(QStringLiteral("正在重建文件头......"), QStringLiteral("停止"), 0, 0,
                             owner);
    progress.setWindowTitle(QStringLiteral("重建文件头"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    QObject::connect(&progress, &QProgressDialog::canceled, [&stop] { stop = 1; });
    LostHeaders result;
    BackgroundJob background;
    background.run(nullptr,
                   std::make_unique<RebuildJob>(std::move(source), ctx.tables, std::move(reference),
                                                ctx.scan_grid, stop, result),
                   owner, nullptr);
    progress.show();
    background.wait_processing_events();
    return result;
}

}  // namespace

std::size_t RebuildLostHeadersAction(AppContext& ctx, QWidget* owner) {
    if (Busy(ctx)) {
        ctx.ask(owner, "提示", "请等扫描、加载或保存结束后再重建文件头", MsgIcon::Information);
        return 0;
    }
    const QString name = ctx.dialogs.open_file(owner);
    if (name.isEmpty()) return 0;
    const auto reference = LoadReferenceMovie(std::filesystem::path(name.toStdU16String()));
    if (!reference) {
        ctx.ask(owner, "提示", reference.error(), MsgIcon::Warning);
        return 0;
    }
    const std::string path = ctx.tables.with([](const TableSet& t) { return t.source_field; });
    auto source = SourceReader::open(path);
    if (!source) {
        ctx.ask(owner, "提示", "无法打开源盘 " + path + "：" + source.error().reason,
                MsgIcon::Warning);
        return 0;
    }
    const LostHeaders lost = RunRebuild(ctx, owner, std::move(*source), std::move(*reference));
    // A number given again (after the tables were cleared) takes the new header.
    for (const auto& [number, file] : lost.rebuilt) ctx.rebuilt.insert_or_assign(number, file);
    ctx.refresher->refresh_all();
    ctx.ask(owner, "重建文件头", Report(lost),
            lost.any_failed() ? MsgIcon::Warning : MsgIcon::Information);
    return lost.rebuilt.size();
}

}  // namespace tav::app

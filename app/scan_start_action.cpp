#include "scan_start_action.hpp"

#include "checkpoint_offer.hpp"
#include "common/log_line.hpp"
#include "form1.hpp"
#include "form3.hpp"
#include "form5.hpp"
#include "form6.hpp"
#include "recovery/checkpoint_resume.hpp"
#include "table_refresher.hpp"

namespace tav::app {

namespace {

// The keeper's file and head for this scan: the checkpoint gone on from, or
// a new one. Nothing when the scan keeps none: the source that cannot be
// opened here is reported by the scan itself.
ScanCheckpointTarget CheckpointTarget(AppContext& ctx, const std::string& path,
                                      const std::optional<ScanCheckpoint>& resumed,
                                      const ScanStartPlan& plan) {
    if (path.empty()) return {};
    auto head = CheckpointHeadFor(path, resumed ? &*resumed : nullptr, ctx.selection, ctx.settings,
                                  plan, ctx.tables);
    if (!head) return {};
    return {path, std::move(*head)};
}

}  // namespace

void StartScan(AppContext& ctx, QWidget* owner) {
    const SourceSelection& sel = ctx.selection;
    // Checked before anything is emptied: a slip on Next must not cost the
    // results of the previous scan.
    if (sel.SourceText.empty()) {
        ctx.ask(owner, "提示", "请选择要扫描的盘符或者镜像文件！", MsgIcon::Question);
        return;
    }
    // A previous scan still finishing would write into the emptied tables
    // (and into its checkpoint, which is read next).
    ctx.forms.form3->stop_and_wait();

    const std::string checkpoint_path = CheckpointPathOf(ctx);
    std::optional<ScanCheckpoint> resumed = OfferResume(ctx, owner, checkpoint_path);
    const std::string device = sel.Source.path;
    if (resumed) ApplyCheckpointSettings(resumed->settings, ctx.settings);
    BeginScanTables(resumed ? &*resumed : nullptr, device, ctx.settings, ctx.tables);
    ctx.refresher->refresh_all();
    ctx.forms.form6->reload_source_field();
    ctx.StopRequested = 0;

    ctx.forms.form1->hide();
    ctx.forms.form5->hide();
    TForm3* progress = ctx.forms.form3;
    progress->begin_scan();
    const ScanStartPlan plan = PlanScanStart(sel, ctx.settings);
    for (const std::string& message : plan.header_messages)
        progress->append_log(QString::fromStdString(make_log_line(message)));
    ScanParams params{device, sel.DiskInfo, plan.ScanKind, plan.ScanAllSpace, ctx.open_source};
    if (resumed) {
        params.resume = resumed->sweep;
        progress->append_log(QString::fromStdString(
            make_log_line("继续上次未完成的扫描，已发现视频 " +
                          std::to_string(resumed->sweep.video_count) + " 个")));
    }
    progress->start_scanner(std::move(params),
                            CheckpointTarget(ctx, checkpoint_path, resumed, plan));
}

}  // namespace tav::app

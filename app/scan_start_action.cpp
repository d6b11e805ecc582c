#include "scan_start_action.hpp"

#include "common/log_line.hpp"
#include "form1.hpp"
#include "form3.hpp"
#include "form5.hpp"
#include "form6.hpp"
#include "table_refresher.hpp"

namespace tav::app {

void StartScan(AppContext& ctx, QWidget* owner) {
    const SourceSelection& sel = ctx.selection;
    // Checked before anything is emptied: a slip on Next must not cost the
    // results of the previous scan.
    if (sel.SourceText.empty()) {
        ctx.ask(owner, "提示", "请选择要扫描的盘符或者镜像文件！", MsgIcon::Question);
        return;
    }
    // A previous scan still finishing would write into the emptied tables.
    ctx.forms.form3->stop_and_wait();

    const std::string device = sel.Source.path;
    ctx.tables.with([&](TableSet& t) {
        t.clear_tables();
        t.source_field = device;
        t.file_type = FileTypeText(ctx.settings);
    });
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
    progress->start_scanner(ScanParams{device, sel.DiskInfo, plan.ScanKind, plan.ScanAllSpace, {}});
}

}  // namespace tav::app

#pragma once
// Step 3: the scan log and gauge while the scanner runs; stop, stop-and-load,
// and the hidden label that opens the expert prompt.

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <optional>

#include "background_job.hpp"
#include "common/progress_meter.hpp"
#include "scan/checkpoint_keeper.hpp"
#include "scan/scan_worker.hpp"
#include "wizard_window.hpp"

namespace tav::app {

// Where a scan keeps its checkpoint and what the file starts from; no path:
// the scan keeps none.
struct ScanCheckpointTarget {
    std::string path;
    std::optional<ScanCheckpoint> head;
};

// The invisible six-space label; a double click opens the prompt.
class HiddenLabel : public QLabel {
  public:
    HiddenLabel(std::function<void()> on_double_click, QWidget* parent);

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    std::function<void()> on_double_click_;
};

class TForm3 : public WizardWindow, public ProgressTarget {
  public:
    explicit TForm3(AppContext& context, QWidget* parent = nullptr);

    // Shows the window with an empty log, the gauge at 0 and panel 2 empty.
    void begin_scan();
    void start_scanner(ScanParams params, ScanCheckpointTarget checkpoint = {});
    // Asks a running scan to stop and waits for it with the GUI alive.
    void stop_and_wait();
    bool scanning() const { return job_.running(); }

    void btn1Click();
    void btn2Click();
    void lbl2DblClick();

    // ProgressTarget
    void append_log(const QString& line) override;
    void set_gauge_range(std::int64_t minimum, std::int64_t maximum) override;
    void set_gauge_position(std::int64_t position) override;
    void set_status(int panel, const QString& text) override {
        WizardWindow::set_status(panel, text);
    }
    void tables_changed(TableId table) override;
    void results_ready() override;
    void set_videos_found(std::int64_t count) override;

    QPlainTextEdit* mmo1 = nullptr;
    GaugeBar* g1 = nullptr;
    QLabel* lbl3 = nullptr;       // speed, time left and videos found, beside the gauge
    QPushButton* btn1 = nullptr;  // "停止扫描"
    QToolButton* btn2 = nullptr;  // hint "加载扫描结果"
    HiddenLabel* lbl2 = nullptr;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void show_results_step();
    void back_to_source_step();
    void show_speed();

    BackgroundJob job_;
    ProgressMeter meter_;
    QElapsedTimer clock_;
    std::int64_t gauge_min_ = 0, gauge_max_ = 0;
    std::int64_t videos_ = 0;
};

}  // namespace tav::app

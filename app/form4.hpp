#pragma once
// Step 5: pick the output folder and save the ticked files.

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <atomic>

#include "background_job.hpp"
#include "common/progress_meter.hpp"
#include "recovery/rebuild_worker.hpp"
#include "wizard_window.hpp"

namespace tav::app {

class TForm4 : public WizardWindow, public ProgressTarget {
  public:
    explicit TForm4(AppContext& context, QWidget* parent = nullptr);

    // What step 4's Next does before showing this window.
    void prepare();
    void btn1Click();
    void btn2Click();
    void btn3Click();
    void btn4Click();
    bool saving() const { return job_.running(); }
    void wait_save() { job_.wait_processing_events(); }

    // ProgressTarget
    void append_log(const QString& line) override { mmo1->appendPlainText(line); }
    void set_gauge_range(std::int64_t minimum, std::int64_t maximum) override {
        g1->set_range64(minimum, maximum);
    }
    void set_gauge_position(std::int64_t position) override { g1->set_position64(position); }
    void set_status(int panel, const QString& text) override {
        WizardWindow::set_status(panel, text);
    }
    void tables_changed(TableId table) override;
    void set_save_progress(const SaveProgress& progress) override;

    std::atomic<bool> SaveInProgress{false};
    QLineEdit* edt1 = nullptr;    // FolderField
    QPushButton* btn1 = nullptr;  // "保存"
    QPushButton* btn2 = nullptr;  // "浏览"
    QToolButton* btn3 = nullptr;  // back to step 4
    QToolButton* btn4 = nullptr;  // back to step 1
    GaugeBar* g1 = nullptr;
    QLabel* lbl3 = nullptr;  // the file being written, the total, speed and time left
    QPlainTextEdit* mmo1 = nullptr;
    QLabel* lbl4 = nullptr;       // what the last save wrote
    QPushButton* btn5 = nullptr;  // "打开文件夹", after a save

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void info(const std::string& text);
    void show_summary(const RebuildSummary& summary);

    BackgroundJob job_;
    ProgressMeter meter_;
    QElapsedTimer clock_;
};

}  // namespace tav::app

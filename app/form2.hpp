#pragma once
// Step 4: the list of recoverable files with ticks, sorting, the scan-result
// file buttons, back and next; beside the list, how far the play check of
// the listed files is, and its stop.

#include <QPushButton>
#include <QTableView>
#include <QToolButton>

#include "background_job.hpp"
#include "preview_panel.hpp"
#include "wizard_window.hpp"

namespace tav::app {

class TForm2 : public WizardWindow, public ProgressTarget {
  public:
    explicit TForm2(AppContext& context, QWidget* parent = nullptr);

    void show_results();
    void btn1Click();
    void btn2Click();
    void btn3Click();
    void btn4Click();
    void btn6Click();
    void btn7Click();
    void lbl5Click();
    void lv1ColumnClick(int column);
    bool file_job_running() const { return file_job_.running(); }
    void wait_file_job() { file_job_.wait_processing_events(); }

    // ProgressTarget: the scan-result worker only changes tables and asks.
    void append_log(const QString&) override {}
    void set_gauge_range(std::int64_t, std::int64_t) override {}
    void set_gauge_position(std::int64_t) override {}
    void set_status(int panel, const QString& text) override {
        WizardWindow::set_status(panel, text);
    }
    void tables_changed(TableId table) override;

    QTableView* lv1 = nullptr;
    QPushButton* btn1 = nullptr;      // "下一步"
    QToolButton* btn2 = nullptr;      // back
    QPushButton* btn3 = nullptr;      // "全选"
    QPushButton* btn4 = nullptr;      // "反选"
    QPushButton* btn6 = nullptr;      // "保存扫描结果"
    QPushButton* btn7 = nullptr;      // "加载扫描结果"
    QPushButton* btn8 = nullptr;      // "用参考文件重建文件头"
    QLabel* lbl7 = nullptr;           // how far the play check is
    QPushButton* btn9 = nullptr;      // "停止检查", or resumes it once stopped
    PreviewPanel* preview = nullptr;  // the selected video's first frame

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    QWidget* make_button_bar();
    QLayout* make_check_row();
    void show_check_state();
    bool busy_with_tables();
    void start_file_job(int mode, const QString& file_name);
    void preview_selected();

    BackgroundJob file_job_;
};

}  // namespace tav::app

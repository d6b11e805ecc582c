#pragma once
// The play check as the wizard runs it: from the moment the results list is
// shown, every listed video is decoded on a worker thread; what it found is
// kept here per file and shown in the lists' "可播放" column. The worker's
// reports reach this object on the GUI thread.

#include <QObject>
#include <QString>
#include <QTimer>
#include <map>
#include <memory>
#include <string>

#include "app_context.hpp"
#include "planned_row.hpp"
#include "play_check_reporter.hpp"

namespace tav::app {

class PlayCheckWorker;
class TableModel;

class PlayCheck : public QObject {
    Q_OBJECT
  public:
    // Adds the column to the results list and the expert view's output list.
    explicit PlayCheck(AppContext& context, QObject* parent = nullptr);
    ~PlayCheck() override;  // stops the worker

    // Checks the results list as it is now, and again after each change
    // of the tables, until stopped.
    void start();
    // The video listed as number goes next.
    void prefer(const std::string& number);
    // Drops the check in progress; returns once the worker has ended.
    void stop();
    bool active() const { return active_; }
    // Active with videos left to check.
    bool busy() const { return active_ && !all_checked_; }
    QString status() const { return status_; }

    // What the column shows for the file with this key (PlanKey): nothing
    // before its check, kCheckingText during it, its PlayableText after.
    QString cell(const std::string& key) const;

    // Before the first start: decode through this instead.
    void use_verifier(RowVerifier verify) { verify_ = std::move(verify); }

  signals:
    void status_changed();
    void row_checked(const QString& number);

  private:
    class Marshal;
    void attach(TableModel* model, TextTable TableSet::*list, ListColumns columns);
    // Shown now, or with the next repaint of the columns.
    void set_status(const QString& text, bool now = false);
    void cells_changed();
    void on_checking(const std::string& key, std::size_t handled, std::size_t listed);
    void on_checked(const std::string& number, const std::string& key, const CheckOutcome& outcome);
    void on_dropped(const std::string& key);
    void on_all_checked(std::size_t listed);

    AppContext& ctx_;
    RowVerifier verify_;
    std::unique_ptr<Marshal> reporter_;
    std::unique_ptr<PlayCheckWorker> worker_;
    std::map<std::string, QString> texts_;  // by key
    std::string checking_;
    bool active_ = false;
    bool all_checked_ = false;
    QString status_;
    QTimer repaint_;  // many reports become one repaint of the columns and the status
    QTimer relist_;   // many refreshes become one reading of the list
};

}  // namespace tav::app

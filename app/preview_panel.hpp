#pragma once
// Beside a results list: the first frame of the selected video and how long
// it plays. Decoded on a worker thread only when a row is selected, and kept
// per file, so going back to a row shows it at once.

#include <QCache>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QWidget>
#include <expected>
#include <optional>
#include <string>

#include "common/worker_thread.hpp"
#include "planned_row.hpp"

namespace tav::app {

// The file of the row selected in a list over one of the tables (the
// save's own plan of it, a rebuilt header included); nothing when none is
// selected, the text to show when it names no file.
std::optional<std::expected<PlannedRow, QString>> PlanForSelection(
    const QItemSelectionModel& selection, ScanTables& tables, TextTable TableSet::*list,
    ListColumns columns, const RebuiltFiles* rebuilt);

class PreviewPanel : public QWidget {
  public:
    explicit PreviewPanel(QWidget* parent = nullptr);
    ~PreviewPanel() override;  // waits for a decode still running

    // Shows this file's preview (or the text), decoding it unless it is
    // known; nothing hides the panel.
    void show_file(std::optional<std::expected<PlannedRow, QString>> file);

    QLabel* picture() const { return picture_; }
    QLabel* caption() const { return caption_; }

  private:
    struct Entry {
        QImage image;  // null when there is none
        QString text;  // the length, or why there is no picture
    };
    void start(const QString& key, PlannedRow file);
    void finished(const QString& key, const Entry& entry);
    void display(const Entry& entry);

    QLabel* picture_ = nullptr;
    QLabel* caption_ = nullptr;
    QCache<QString, Entry> cache_;
    QString wanted_key_;  // the file the panel is showing or waiting for
    std::optional<PlannedRow> wanted_;
    bool decoding_ = false;
    WorkerThread worker_;
};

}  // namespace tav::app

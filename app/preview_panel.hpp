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
#include "recovery/copy_fragments.hpp"
#include "scan/scan_tables.hpp"

namespace tav::app {

// What a preview is made from: the bytes the save would copy for a row.
struct PreviewRequest {
    std::string source_path;
    FragmentRanges ranges;
};

// The request for the file the OutputTable row with this 编号 describes (the
// save's own lookup), or the text to show when its fragments name no file.
std::expected<PreviewRequest, QString> RequestForNumber(const TableSet& tables,
                                                        const std::string& number,
                                                        const std::string& fragment_count);

// The request for the row selected in a list over one of the tables whose
// columns hold the 编号 and the fragment count; nothing when none is selected.
std::optional<std::expected<PreviewRequest, QString>> RequestForSelection(
    const QItemSelectionModel& selection, ScanTables& tables, TextTable TableSet::*table,
    std::size_t number_column, std::size_t count_column);

class PreviewPanel : public QWidget {
  public:
    explicit PreviewPanel(QWidget* parent = nullptr);
    ~PreviewPanel() override;  // waits for a decode still running

    // Shows this file's preview (or the text), decoding it unless it is
    // known; nothing hides the panel.
    void show_file(std::optional<std::expected<PreviewRequest, QString>> file);

    QLabel* picture() const { return picture_; }
    QLabel* caption() const { return caption_; }

  private:
    struct Entry {
        QImage image;  // null when there is none
        QString text;  // the length, or why there is no picture
    };
    void start(const QString& key, PreviewRequest request);
    void finished(const QString& key, const Entry& entry);
    void display(const Entry& entry);

    QLabel* picture_ = nullptr;
    QLabel* caption_ = nullptr;
    QCache<QString, Entry> cache_;
    QString wanted_key_;  // the file the panel is showing or waiting for
    std::optional<PreviewRequest> wanted_;
    bool decoding_ = false;
    WorkerThread worker_;
};

}  // namespace tav::app

#include "preview_panel.hpp"

#include <QMetaObject>
#include <QPixmap>
#include <QVBoxLayout>

#include "duration_label.hpp"
#include "recovery/rebuild_rows.hpp"
#include "row_preview.hpp"

namespace tav::app {

namespace {

// Thumbnails are at most 320 x 240 RGB: about 64 of them.
constexpr qsizetype kCacheBytes = 16 << 20;

QString KeyOf(const PreviewRequest& r) {
    QString key = QString::fromStdString(r.source_path);
    for (std::size_t i = 0; i < r.ranges.size(); ++i)
        key += QStringLiteral("\n%1 %2 %3")
                   .arg(QString::fromStdString(r.ranges.start_types[i]),
                        QString::fromStdString(r.ranges.start_offsets[i]),
                        QString::fromStdString(r.ranges.end_offsets[i]));
    return key;
}

QString FailureText(preview::PreviewFailure kind) {
    switch (kind) {
        case preview::PreviewFailure::CannotDecode:
            return QStringLiteral("无法解码首帧");
        case preview::PreviewFailure::SourceUnreadable:
            return QStringLiteral("无法打开源盘");
        case preview::PreviewFailure::BadFragments:
            return QStringLiteral("碎片列表无效");
        case preview::PreviewFailure::NoDecoder:
            return QStringLiteral("未安装解码模块，无法预览");
    }
    return QStringLiteral("无法解码首帧");
}

}  // namespace

std::expected<PreviewRequest, QString> RequestForNumber(const TableSet& tables,
                                                        const std::string& number,
                                                        const std::string& fragment_count) {
    auto ranges = ResolveFragments(tables, RebuildRow{number, {}, {}, fragment_count});
    if (!ranges) return std::unexpected(QStringLiteral("碎片列表无效"));
    return PreviewRequest{tables.source_field, std::move(*ranges)};
}

std::optional<std::expected<PreviewRequest, QString>> RequestForSelection(
    const QItemSelectionModel& selection, ScanTables& tables, TextTable TableSet::*table,
    std::size_t number_column, std::size_t count_column) {
    const QModelIndexList rows = selection.selectedRows();
    if (rows.isEmpty()) return std::nullopt;
    const auto s = static_cast<std::size_t>(rows.front().row());
    return tables.with([&](const TableSet& t) {
        const TextTable& list = t.*table;
        return RequestForNumber(t, list.cell(s, number_column), list.cell(s, count_column));
    });
}

PreviewPanel::PreviewPanel(QWidget* parent) : QWidget(parent), cache_(kCacheBytes) {
    setObjectName("PreviewPanel");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    picture_ = new QLabel(this);
    picture_->setAlignment(Qt::AlignCenter);
    caption_ = new QLabel(this);
    caption_->setAlignment(Qt::AlignCenter);
    caption_->setWordWrap(true);
    layout->addWidget(picture_);
    layout->addWidget(caption_);
    layout->addStretch(1);
    hide();
}

PreviewPanel::~PreviewPanel() {
    // The worker's queued answer to this panel is dropped with it.
    worker_.join();
}

void PreviewPanel::show_file(std::optional<std::expected<PreviewRequest, QString>> file) {
    wanted_.reset();
    wanted_key_.clear();
    if (!file) {
        hide();
        return;
    }
    show();
    if (!*file) {
        display(Entry{{}, file->error()});
        return;
    }
    wanted_key_ = KeyOf(**file);
    if (const Entry* known = cache_.object(wanted_key_)) {
        display(*known);
        return;
    }
    display(Entry{{}, QStringLiteral("正在读取首帧……")});
    wanted_ = std::move(**file);
    // One decode at a time; a row picked meanwhile waits for it to end.
    if (!decoding_) start(wanted_key_, *wanted_);
}

void PreviewPanel::start(const QString& key, PreviewRequest request) {
    decoding_ = true;
    worker_.start([this, key, request = std::move(request)] {
        const auto preview = preview::PreviewFragments(request.source_path, request.ranges);
        Entry entry;
        if (preview) {
            const preview::RgbImage& t = preview->thumbnail;
            entry.image =
                QImage(t.pixels.data(), t.width, t.height, t.width * 3, QImage::Format_RGB888)
                    .copy();
            entry.text = QString::fromStdString(preview::DurationLabel(preview->duration_seconds));
        } else {
            entry.text = FailureText(preview.error().kind);
        }
        QMetaObject::invokeMethod(
            this, [this, key, entry] { finished(key, entry); }, Qt::QueuedConnection);
    });
}

void PreviewPanel::finished(const QString& key, const Entry& entry) {
    decoding_ = false;
    const qsizetype cost = std::max<qsizetype>(1, entry.image.sizeInBytes());
    cache_.insert(key, new Entry(entry), cost);
    if (key == wanted_key_) {
        wanted_.reset();
        display(entry);
    } else if (wanted_) {
        start(wanted_key_, *wanted_);
    }
}

void PreviewPanel::display(const Entry& entry) {
    if (entry.image.isNull()) {
        picture_->clear();
        picture_->hide();
    } else {
        picture_->setPixmap(QPixmap::fromImage(entry.image));
        picture_->show();
    }
    caption_->setText(entry.text);
}

}  // namespace tav::app

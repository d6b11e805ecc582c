#include "preview_panel.hpp"

#include <QMetaObject>
#include <QPixmap>
#include <QVBoxLayout>

#include "duration_label.hpp"
#include "row_verify.hpp"

namespace tav::app {

namespace {

// Thumbnails are at most 320 x 240 RGB: about 64 of them.
constexpr qsizetype kCacheBytes = 16 << 20;

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
        case preview::PreviewFailure::NoRebuiltHeader:
            return QStringLiteral("需先用参考文件重建文件头");
    }
    return QStringLiteral("无法解码首帧");
}

}  // namespace

std::optional<std::expected<PlannedRow, QString>> PlanForSelection(
    const QItemSelectionModel& selection, ScanTables& tables, TextTable TableSet::*list,
    ListColumns columns, const RebuiltFiles* rebuilt) {
    const QModelIndexList rows = selection.selectedRows();
    if (rows.isEmpty()) return std::nullopt;
    const auto s = static_cast<std::size_t>(rows.front().row());
    return tables.with([&](const TableSet& t) -> std::expected<PlannedRow, QString> {
        auto file = PlanListRow(t, t.*list, s, columns, rebuilt);
        if (!file) return std::unexpected(QString::fromStdString(file.error()));
        return std::move(*file);
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

void PreviewPanel::show_file(std::optional<std::expected<PlannedRow, QString>> file) {
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
    wanted_key_ = QString::fromStdString(PlanKey(**file));
    if (const Entry* known = cache_.object(wanted_key_)) {
        display(*known);
        return;
    }
    display(Entry{{}, QStringLiteral("正在读取首帧……")});
    wanted_ = std::move(**file);
    // One decode at a time; a row picked meanwhile waits for it to end.
    if (!decoding_) start(wanted_key_, *wanted_);
}

void PreviewPanel::start(const QString& key, PlannedRow file) {
    decoding_ = true;
    worker_.start([this, key, file = std::move(file)] {
        const auto preview = preview::PreviewPlanned(file.source_path, file.plan);
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

#include "widgets.hpp"

#include <QAbstractButton>
#include <QFile>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <algorithm>

namespace tav::app {

BannerWidget::BannerWidget(QImage picture, QWidget* parent, QImage picture_2x)
    : QWidget(parent), picture_(std::move(picture)), picture_2x_(std::move(picture_2x)) {
    setFixedHeight(kBannerHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    if (!picture_2x_.isNull()) picture_2x_.setDevicePixelRatio(2.0);
}

const QImage& BannerWidget::picture_for(qreal ratio) const {
    return ratio > 1.0 && !picture_2x_.isNull() ? picture_2x_ : picture_;
}

void BannerWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QImage& picture = picture_for(devicePixelRatioF());
    if (picture.isNull()) {
        painter.fillRect(rect(), QColor(0x2a, 0x6c, 0xb4));
    } else {
        const QColor edge = picture.pixelColor(picture.width() - 1, picture.height() / 2);
        painter.fillRect(rect(), edge);
        painter.drawImage(QPoint(0, 0), picture);
    }
    QFont title = font();
    title.setPixelSize(30);
    painter.setFont(title);
    painter.setPen(Qt::white);
    painter.drawText(QRect(20, 4, width() - 24, 44), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Tavorine-MOV 恢复工具"));
    QFont subtitle = font();
    subtitle.setPixelSize(14);
    painter.setFont(subtitle);
    painter.setPen(QColor(0xd6, 0xe8, 0xff));
    painter.drawText(QRect(24, 48, width() - 28, 22), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("摄像机 MOV 高清视频恢复"));
}

ClickLabel::ClickLabel(const QString& text, std::function<void()> on_click, QWidget* parent)
    : QLabel(text, parent), on_click_(std::move(on_click)) {}

void ClickLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && on_click_) on_click_();
    QLabel::mousePressEvent(event);
}

QLabel* make_forum_link(const QString& text, std::function<void()> on_click, QWidget* parent) {
    const bool active = static_cast<bool>(on_click);
    auto* label = new ClickLabel(text, std::move(on_click), parent);
    label->setObjectName("lbl2");
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    label->setStyleSheet("color: #1a5fd0;");
    if (active) label->setCursor(Qt::PointingHandCursor);
    return label;
}

GaugeBar::GaugeBar(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(true);
    setStyleSheet(
        "QProgressBar { border: 1px solid #9db3cc; border-radius: 3px; text-align: center; "
        "background: #ffffff; } QProgressBar::chunk { background: #2f7fd0; }");
    apply();
}

void GaugeBar::set_range64(std::int64_t minimum, std::int64_t maximum) {
    min_ = minimum;
    max_ = std::max(minimum, maximum);
    apply();
}

void GaugeBar::set_position64(std::int64_t position) {
    pos_ = position;
    apply();
}

void GaugeBar::apply() {
    constexpr std::int64_t kSteps = 1'000'000;
    const std::int64_t span = max_ - min_;
    if (span <= 0) {
        setRange(0, 1);
        setValue(0);
        return;
    }
    const std::int64_t clamped = std::clamp(pos_, min_, max_);
    const double fraction = static_cast<double>(clamped - min_) / static_cast<double>(span);
    setRange(0, static_cast<int>(kSteps));
    setValue(static_cast<int>(fraction * kSteps));
}

void SetStepKeys(QWidget* window, QAbstractButton* forward) {
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* enter = new QShortcut(QKeySequence(key), window);
        QObject::connect(enter, &QShortcut::activated, forward, [forward] {
            if (forward->isEnabled() && forward->isVisible()) forward->click();
        });
    }
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    QObject::connect(escape, &QShortcut::activated, window, [window] { window->close(); });
}

}  // namespace tav::app

#include "wizard_window.hpp"

#include <QHBoxLayout>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace tav::app {

WizardWindow::WizardWindow(AppContext& context, const QString& state_word, const QString& step_text,
                           QWidget* parent)
    : QMainWindow(parent), ctx_(context) {
    setWindowTitle(QString::fromUtf8(kWindowCaption));
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    banner_ = new BannerWidget(LoadBannerPicture(), central, LoadBannerPicture(2));
    outer->addWidget(banner_);
    content_ = new QVBoxLayout;
    content_->setContentsMargins(12, 6, 12, 8);
    content_->setSpacing(8);
    outer->addLayout(content_, 1);
    setCentralWidget(central);

    stat1 = new QStatusBar(this);
    stat1->setSizeGripEnabled(false);
    const std::array<int, 3> widths = {80, 200, 0};
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        auto* panel = new QLabel(stat1);
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Sunken);
        if (widths[i] > 0) panel->setFixedWidth(widths[i]);
        stat1->addWidget(panel, widths[i] > 0 ? 0 : 1);
        panels_[i] = panel;
    }
    setStatusBar(stat1);
    set_status(0, state_word);
    set_status(1, step_text);
}

void WizardWindow::set_status(int panel, const QString& text) {
    if (panel >= 0 && panel < static_cast<int>(panels_.size()))
        panels_[static_cast<std::size_t>(panel)]->setText(text);
}

QString WizardWindow::status(int panel) const {
    if (panel < 0 || panel >= static_cast<int>(panels_.size())) return {};
    return panels_[static_cast<std::size_t>(panel)]->text();
}

QLabel* WizardWindow::add_forum_link(bool active) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    std::function<void()> action;
    if (active) action = [this] { ctx_.open_forum(); };
    QLabel* link = make_forum_link(QStringLiteral("访问论坛 "), std::move(action), centralWidget());
    row->addWidget(link);
    content_->addLayout(row);
    return link;
}

QToolButton* WizardWindow::picture_button(const QString& picture, const QString& hint,
                                          QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setIcon(QIcon(picture));
    button->setIconSize(QSize(40, 28));
    button->setToolTip(hint);
    button->setAutoRaise(true);
    return button;
}

void WizardWindow::set_keys(QAbstractButton* forward) {
    SetStepKeys(this, forward);
}

}  // namespace tav::app

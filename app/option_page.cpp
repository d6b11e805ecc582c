#include "option_page.hpp"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "form1.hpp"
#include "widgets.hpp"

namespace tav::app {

OptionPage::OptionPage(AppContext& context, const QString& caption, QWidget* parent)
    : QMainWindow(parent), ctx_(context) {
    setWindowTitle(caption);
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(new BannerWidget(LoadBannerPicture(), central, LoadBannerPicture(2)));
    content_ = new QVBoxLayout;
    content_->setContentsMargins(14, 8, 14, 8);
    content_->setSpacing(10);
    outer->addLayout(content_, 1);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(14, 0, 14, 12);
    buttons->addStretch(1);
    btn3 = new QToolButton(central);
    btn3->setIcon(QIcon(":/pictures/back.png"));
    btn3->setIconSize(QSize(40, 28));
    btn3->setToolTip(QStringLiteral("上一步"));
    btn3->setAutoRaise(true);
    btn1 = new QPushButton(QStringLiteral(" 下一步"), central);
    btn1->setMinimumWidth(96);
    buttons->addWidget(btn3);
    buttons->addWidget(btn1);
    outer->addLayout(buttons);
    setCentralWidget(central);
    SetStepKeys(this, btn1);
    resize(700, 500);
}

void OptionPage::closeEvent(QCloseEvent* event) {
    event->accept();
    ctx_.forms.form1->show();
}

QLabel* tip_line(const QString& text, const char* colour) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setStyleSheet(QString("color: %1;").arg(QString::fromLatin1(colour)));
    return label;
}

}  // namespace tav::app

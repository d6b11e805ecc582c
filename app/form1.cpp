#include "form1.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QStatusBar>
#include <QVBoxLayout>

#include "form10.hpp"
#include "form8.hpp"

namespace tav::app {

myLabel::myLabel(TForm1& owner, QWidget* parent) : QLabel(parent), owner_(owner) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
}

void myLabel::enterEvent(QEnterEvent*) {
    hovered_ = true;
    owner_.tmr1->stop();
    setStyleSheet("color: red;");
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
}

void myLabel::leaveEvent(QEvent*) {
    hovered_ = false;
    owner_.tmr1->start();
    setStyleSheet(QString());
    QFont f = font();
    f.setUnderline(false);
    setFont(f);
    setCursor(Qt::ArrowCursor);
}

void myLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) owner_.LinkLabelClick();
}

TForm1::TForm1(AppContext& context, QWidget* parent)
    : WizardWindow(context, QStringLiteral("就绪"), QStringLiteral("您所在位置第1步---故障类型"),
                   parent) {
    setObjectName("TForm1");
    lbl1 = new QLabel(QStringLiteral("客服邮箱:") + QString::fromLatin1(kSupportAddress), banner());
    lbl1->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    lbl1->setStyleSheet("color: white;");
    auto* banner_layout = new QHBoxLayout(banner());
    banner_layout->setContentsMargins(0, 0, 12, 6);
    banner_layout->addStretch(1);
    banner_layout->addWidget(lbl1, 0, Qt::AlignRight | Qt::AlignBottom);
    lbl2 = add_forum_link(true);
    content()->addWidget(make_fault_group());
    content()->addWidget(make_tips_group(), 1);

    tmr1 = new QTimer(this);
    tmr1->setInterval(2000);
    connect(tmr1, &QTimer::timeout, this, [this] { tmr1Timer(); });
    tmr1->start();
    resize(760, 560);
}

QWidget* TForm1::make_fault_group() {
    auto* group = new QGroupBox(QStringLiteral("选择您的故障类型"));
    auto* row = new QHBoxLayout(group);
    auto make = [&](const char* picture, const QString& tip, void (TForm1::*click)()) {
        auto* button = new QToolButton(group);
        button->setIcon(QIcon(QString::fromLatin1(picture)));
        button->setIconSize(QSize(180, 150));
        button->setText(tip);
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        QFont font = button->font();
        font.setPointSizeF(font.pointSizeF() * 1.5);
        button->setFont(font);
        button->setToolTip(tip);
        button->setAutoRaise(true);
        button->setCursor(Qt::PointingHandCursor);
        connect(button, &QToolButton::clicked, this, [this, click] { (this->*click)(); });
        row->addWidget(button);
        return button;
    };
    btn1 = make(":/pictures/fault_delete.png", QStringLiteral("误删除"), &TForm1::btn1Click);
    btn2 = make(":/pictures/fault_format.png", QStringLiteral("误格式化"), &TForm1::btn2Click);
    btn3 = make(":/pictures/fault_deep.png", QStringLiteral("深入扫描"), &TForm1::btn3Click);
    return group;
}

QWidget* TForm1::make_tips_group() {
    auto* group = new QGroupBox(QStringLiteral("小提示"));
    auto* layout = new QVBoxLayout(group);
    auto* tips = new QLabel(
        QStringLiteral("\n如何判断故障类型是 误删除、误格式化、深入扫描 "
                       "中的那一种呢？我们举个例子说明一下\n\n"
                       "如果是对MOV所在的逻辑盘做了格式化的操作，就请选择 误格式化。\n\n"
                       "比如您在整理文件的过程中，误删除了MOV文件，而没有做其它操作，那么就选择 "
                       "误删除。\n\n"
                       "如果您原来的逻辑盘都不见了或者发生了变化，比如原来有四个逻辑盘现在变成了"
                       "三个，就请选择 深入扫描。"),
        group);
    tips->setWordWrap(true);
    tips->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    layout->addWidget(tips);
    return group;
}

void TForm1::btn1Click() {
    ctx_.settings.ScanMode = kModeDeletion;
    hide();
    ctx_.forms.form10->show_checked();
}

void TForm1::btn2Click() {
    ctx_.settings.ScanMode = kModeFormat;
    hide();
    ctx_.forms.form8->show_reset();
}

void TForm1::btn3Click() {
    ctx_.settings.ScanMode = kModeDeep;
    hide();
    ctx_.forms.form10->show_checked();
}

void TForm1::load_link_items(const QString& ini_path) {
    QFile file(ini_path);
    if (!file.open(QIODevice::ReadOnly)) return;
    const QByteArray bytes = file.readAll();
    auto parsed = ParseItemIni(std::string_view(bytes.constData(), bytes.size()));
    if (!parsed) {
        ctx_.ask(this, kAppTitle, parsed.error(), MsgIcon::Warning);
        return;
    }
    items_ = std::move(*parsed);
    if (!SiteCheckPasses(items_.urls, kSiteName)) return;
    rotation_ = std::make_unique<LinkRotation>(items_.names.size());
    LinkLabel = new myLabel(*this, stat1);
    LinkLabel->setObjectName("LinkLabel");
    LinkLabel->show();
    place_link_label();
}

void TForm1::place_link_label() {
    if (!LinkLabel) return;
    LinkLabel->adjustSize();
    const int left = 80 + 200 + 4;
    LinkLabel->move(left, (stat1->height() - LinkLabel->height()) / 2);
    LinkLabel->raise();
}

void TForm1::tmr1Timer() {
    if (!rotation_ || !LinkLabel) return;
    if (!rotation_->tick()) return;
    LinkLabel->setStyleSheet(QString());
    LinkLabel->setText(QString::fromStdString(items_.names[rotation_->index()]));
    place_link_label();
}

void TForm1::LinkLabelClick() {
    if (!rotation_ || !rotation_->clickable()) return;
    ctx_.dialogs.open_url(QString::fromStdString(items_.urls[rotation_->index()]));
}

void TForm1::closeEvent(QCloseEvent* event) {
    event->accept();
    QApplication::quit();
}

void TForm1::resizeEvent(QResizeEvent* event) {
    WizardWindow::resizeEvent(event);
    place_link_label();
}

}  // namespace tav::app

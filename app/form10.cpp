#include "form10.hpp"

#include <QGroupBox>
#include <QVBoxLayout>

#include "form1.hpp"
#include "form5.hpp"
#include "form8.hpp"

namespace tav::app {

TForm10::TForm10(AppContext& context, QWidget* parent)
    : OptionPage(context, QStringLiteral("选择文件类型"), parent) {
    setObjectName("TForm10");
    auto* types = new QGroupBox(QStringLiteral("选择文件类型："));
    auto* types_layout = new QVBoxLayout(types);
    rb1 = new QRadioButton(QString::fromUtf8(kFileTypeTaggedText), types);
    rb1->setStyleSheet("color: blue;");
    types_layout->addWidget(rb1);
    rb2 = new QRadioButton(QString::fromUtf8(kFileTypeAnyText), types);
    rb2->setStyleSheet("color: blue;");
    rb2->setChecked(true);
    types_layout->addWidget(rb2);
    content()->addWidget(types);

    auto* options = new QGroupBox(QStringLiteral("扫描选项"));
    auto* options_layout = new QVBoxLayout(options);
    chk1 = new QCheckBox(QStringLiteral("仅扫描大于4GB的大型MOV文件"), options);
    options_layout->addWidget(chk1);
    content()->addWidget(options);

    auto* tips = new QGroupBox(QStringLiteral("小提示"));
    auto* tips_layout = new QVBoxLayout(tips);
    tips_layout->addWidget(
        tip_line(QStringLiteral("         如何开启 \"显示文件扩展名\"?"), "black"));
    tips_layout->addWidget(tip_line(
        QStringLiteral("        步骤1:双击\"我的电脑\"-->\"工具\"-->\"文件夹\"选项"), "blue"));
    tips_layout->addWidget(tip_line(QStringLiteral("        步骤2：选择\"查看\"选项卡"), "black"));
    tips_layout->addWidget(
        tip_line(QStringLiteral("        步骤3：找到\"隐藏已知文件类型的扩展名\"一项，"
                                "把前面的对勾去掉，再点击\"确定\""),
                 "black"));
    tips_layout->addStretch(1);
    content()->addWidget(tips, 1);

    const auto take_type = [this] {
        ctx_.settings.FileTypeMov = rb1->isChecked();
        ctx_.settings.FileTypeAnyVideo = rb2->isChecked();
    };
    take_type();
    connect(rb1, &QRadioButton::toggled, this, take_type);
    connect(rb2, &QRadioButton::toggled, this, take_type);
    connect(chk1, &QCheckBox::toggled, this, [this](bool on) { ctx_.settings.LargeFileOnly = on; });
    connect(btn1, &QPushButton::clicked, this, [this] { btn1Click(); });
    connect(btn3, &QToolButton::clicked, this, [this] { btn3Click(); });
}

void TForm10::show_checked() {
    rb2->setChecked(true);
    show();
}

void TForm10::btn1Click() {
    hide();
    ctx_.forms.form5->enter();
}

void TForm10::btn3Click() {
    hide();
    if (ctx_.settings.ScanMode == kModeFormat)
        ctx_.forms.form8->show();
    else
        ctx_.forms.form1->show();
}

}  // namespace tav::app

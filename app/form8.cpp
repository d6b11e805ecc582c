#include "form8.hpp"

#include <QGroupBox>
#include <QVBoxLayout>

#include "form1.hpp"
#include "form10.hpp"

namespace tav::app {

TForm8::TForm8(AppContext& context, QWidget* parent)
    : OptionPage(context, QStringLiteral("误格式化选项"), parent) {
    setObjectName("TForm8");
    auto* schemes = new QGroupBox(QStringLiteral("选择扫描方案："));
    auto* scheme_layout = new QVBoxLayout(schemes);
    rb1 = new QRadioButton(QStringLiteral("仅扫描删除空间（默认）"), schemes);
    rb1->setStyleSheet("color: red;");
    rb1->setChecked(true);
    rb2 = new QRadioButton(QStringLiteral("所有空间都扫描"), schemes);
    rb2->setStyleSheet("color: blue;");
    scheme_layout->addWidget(rb1);
    scheme_layout->addWidget(rb2);
    content()->addWidget(schemes);

    auto* tips = new QGroupBox(QStringLiteral("小提示"));
    auto* tips_layout = new QVBoxLayout(tips);
    tips_layout->addWidget(
        tip_line(QStringLiteral(
                     "         您选择了 [误格式化] 选项，对于 [误格式化] 我们提供了两种扫描方案："),
                 "black"));
    tips_layout->addWidget(
        tip_line(QStringLiteral("         A方案： [仅扫描删除空间] "
                                "此种方式仅扫描删除的空间，不对已经使用的空间进行扫描。"),
                 "red"));
    tips_layout->addWidget(
        tip_line(QStringLiteral("         B方案： [所有空间都扫描] "
                                "当您使用A方案扫描无结果时，建议您使用B方案进行全面扫描。"),
                 "blue"));
    tips_layout->addStretch(1);
    content()->addWidget(tips, 1);

    connect(btn1, &QPushButton::clicked, this, [this] { btn1Click(); });
    connect(btn3, &QToolButton::clicked, this, [this] { btn3Click(); });
}

void TForm8::show_reset() {
    rb1->setChecked(true);
    rb2->setChecked(false);
    show();
}

void TForm8::btn1Click() {
    ctx_.settings.FormatScheme = rb2->isChecked() ? 1 : 0;
    hide();
    ctx_.forms.form10->show_checked();
}

void TForm8::btn3Click() {
    hide();
    ctx_.forms.form1->show();
}

}  // namespace tav::app

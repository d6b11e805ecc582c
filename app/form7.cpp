#include "form7.hpp"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "form6.hpp"
#include "recovery/expert_ops.hpp"

namespace tav::app {

TForm7::TForm7(AppContext& context, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      ctx_(context) {
    setObjectName("TForm7");
    setWindowTitle(QString());
    setWindowOpacity(100.0 / 255.0);
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Dazeravi"), this);
    auto* row = new QHBoxLayout(group);
    edt1 = new QLineEdit(group);
    edt1->setEchoMode(QLineEdit::Password);
    // The platform's password edits show '*'; Qt's style picks its own mask.
    edt1->setStyleSheet("lineedit-password-character: 42;");
    btn1 = new QPushButton(QStringLiteral("确定"), group);
    row->addWidget(edt1);
    row->addWidget(btn1);
    layout->addWidget(group);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(btn1, &QPushButton::clicked, this, [this] { btn1Click(); });
    connect(edt1, &QLineEdit::returnPressed, this, [this] { btn1Click(); });
}

void TForm7::show_prompt() {
    edt1->clear();
    show();
    raise();
}

void TForm7::btn1Click() {
    if (!CheckAccessCode(edt1->text().toStdString())) {
        ctx_.dialogs.message_box(nullptr, WrongAccessCodeMessage());
        return;
    }
    hide();
    ctx_.forms.form6->reload_source_field();
    ctx_.forms.form6->show();
}

}  // namespace tav::app

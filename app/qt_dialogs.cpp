#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "dialogs.hpp"

namespace tav::app {

namespace {

QMessageBox::Icon to_qt(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Warning:
            return QMessageBox::Warning;
        case MsgIcon::Information:
            return QMessageBox::Information;
        case MsgIcon::Question:
            return QMessageBox::Question;
        case MsgIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

MsgAnswer QtDialogs::message_box(QWidget* owner, const UserMessage& message) {
    const bool yes_no = message.buttons == MsgButtons::YesNo;
    QMessageBox box(to_qt(message.icon), QString::fromStdString(message.caption),
                    QString::fromStdString(message.text),
                    yes_no ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, owner);
    const int answer = box.exec();
    if (!yes_no) return MsgAnswer::Ok;
    return answer == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
}

QString QtDialogs::open_file(QWidget* owner) {
    return QFileDialog::getOpenFileName(owner);
}

QString QtDialogs::open_image(QWidget* owner) {
    return QFileDialog::getOpenFileName(
        owner, QString(), QString(),
        QStringLiteral("磁盘镜像 (*.img *.dd *.raw *.bin *.iso *.001);;所有文件 (*)"));
}

QString QtDialogs::save_file(QWidget* owner, const QString& proposed_name) {
    return QFileDialog::getSaveFileName(owner, QString(), proposed_name);
}

QString QtDialogs::browse_folder(QWidget* owner) {
    return QFileDialog::getExistingDirectory(owner, QString(), QString(),
                                             QFileDialog::ShowDirsOnly);
}

void QtDialogs::open_url(const QString& url) {
    QDesktopServices::openUrl(QUrl(url));
}

}  // namespace tav::app

#include "app_windows.hpp"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QPalette>
#include <QStyleFactory>
#include <QTranslator>

#include "form1.hpp"
#include "form10.hpp"
#include "form2.hpp"
#include "form3.hpp"
#include "form4.hpp"
#include "form5.hpp"
#include "form6.hpp"
#include "form7.hpp"
#include "form8.hpp"
#include "play_check.hpp"
#include "table_refresher.hpp"

// Resources of a static library are registered by hand.
static void InitAppResources() {
    Q_INIT_RESOURCE(app);
}

namespace tav::app {

AppWindows::AppWindows(AppContext& context) : ctx_(context) {
    ctx_.refresher = new TableRefresher(ctx_.tables);
    ctx_.play_check = new PlayCheck(ctx_);
    Forms& f = ctx_.forms;
    f.form1 = new TForm1(ctx_);
    f.form10 = new TForm10(ctx_);
    f.form2 = new TForm2(ctx_);
    f.form3 = new TForm3(ctx_);
    f.form4 = new TForm4(ctx_);
    f.form5 = new TForm5(ctx_);
    f.form6 = new TForm6(ctx_);
    f.form7 = new TForm7(ctx_);
    f.form8 = new TForm8(ctx_);
}

void AppWindows::shut_down() {
    // Its worker asks the windows whether a scan or save runs: it ends first.
    ctx_.play_check->stop();
    ctx_.forms.form3->stop_and_wait();
    ctx_.forms.form2->wait_file_job();
    ctx_.forms.form4->wait_save();
}

AppWindows::~AppWindows() {
    shut_down();
    Forms& f = ctx_.forms;
    // Reverse order; the worker jobs inside have ended above.
    delete f.form8;
    delete f.form7;
    delete f.form6;
    delete f.form5;
    delete f.form4;
    delete f.form3;
    delete f.form2;
    delete f.form10;
    delete f.form1;
    f = Forms{};
    delete ctx_.play_check;
    ctx_.play_check = nullptr;
    delete ctx_.refresher;
    ctx_.refresher = nullptr;
}

void SetUpApplication(QApplication& app) {
    InitAppResources();
    QApplication::setApplicationName(QString::fromUtf8(kAppTitle));
    QApplication::setApplicationDisplayName(QString::fromUtf8(kAppTitle));
    // Lets Wayland compositors find the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("tavorine-mov"));
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QPalette palette = QApplication::style()->standardPalette();
    palette.setColor(QPalette::Window, QColor(0xf3, 0xf6, 0xfa));
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::AlternateBase, QColor(0xee, 0xf3, 0xf9));
    palette.setColor(QPalette::Button, QColor(0xe8, 0xee, 0xf6));
    palette.setColor(QPalette::Highlight, QColor(0x2f, 0x7f, 0xd0));
    palette.setColor(QPalette::WindowText, QColor(0x1e, 0x1e, 0x1e));
    palette.setColor(QPalette::Text, QColor(0x1e, 0x1e, 0x1e));
    palette.setColor(QPalette::ButtonText, QColor(0x1e, 0x1e, 0x1e));
    QApplication::setPalette(palette);
    // A copy beside the program serves where the system lacks the font
    // (the Windows folder ships one).
    const QString family = QStringLiteral("WenQuanYi Micro Hei");
    const QDir program_dir(QCoreApplication::applicationDirPath());
    if (!QFontDatabase::hasFamily(family))
        QFontDatabase::addApplicationFont(
            program_dir.filePath(QStringLiteral("fonts/wqy-microhei.ttc")));
    QFont font(family);
    font.setPointSize(10);
    QApplication::setFont(font);
    app.setQuitOnLastWindowClosed(false);
    // Qt's own buttons and dialogs ("确定", "取消"), when the translations
    // are installed (beside the program on Windows, with Qt on Linux);
    // English otherwise.
    static QTranslator qt_chinese;
    for (const QString& folder : {program_dir.filePath(QStringLiteral("translations")),
                                  QLibraryInfo::path(QLibraryInfo::TranslationsPath)}) {
        if (qt_chinese.load(QStringLiteral("qtbase_zh_CN"), folder)) {
            QCoreApplication::installTranslator(&qt_chinese);
            break;
        }
    }
}

}  // namespace tav::app

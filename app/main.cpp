// tavorine-mov: the five-step recovery wizard.

#include <cstdio>
#include <cstring>

#include <QApplication>
#include <QDir>

#include "app_windows.hpp"
#include "dialogs.hpp"
#include "form1.hpp"
#include "walkthrough.hpp"

int main(int argc, char** argv) {
    // Answered before any window system is needed.
    for (int k = 1; k < argc; ++k)
        if (std::strcmp(argv[k], "--version") == 0) {
            std::printf("tavorine-mov %s\n", TAVORINE_VERSION);
            return 0;
        }
    QApplication app(argc, argv);
    tav::app::SetUpApplication(app);

    // The screenshot walk answers every dialog itself.
    const QString shots = qEnvironmentVariable("TAVORINE_SCREENSHOT_DIR");
    if (!shots.isEmpty()) return tav::app::RunScreenshotWalk(shots);

    tav::app::QtDialogs dialogs;
    tav::app::AppContext context(dialogs);
    tav::app::AppWindows windows(context);
    context.forms.form1->show();
    context.forms.form1->load_link_items(
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Item.ini")));
    const int code = app.exec();
    context.StopRequested = 1;
    windows.shut_down();
    return code;
}

// tavorine-mov: the five-step recovery wizard.

#include <cstdio>
#include <cstring>

#include <QApplication>
#include <QDir>

#include "app_windows.hpp"
#include "dialogs.hpp"
#include "form1.hpp"
#include "walkthrough.hpp"

namespace {

// Laid out like the command-line tool's help, which help2man reads too.
constexpr char kHelp[] =
    "Tavorine-MOV恢复工具: 恢复佳能摄像机被删除、被格式化或随分区丢失的MOV视频的向导\n"
    "Usage: tavorine-mov [OPTIONS]\n"
    "\n"
    "Options:\n"
    "  --help                      显示帮助并退出\n"
    "  --version                   显示版本号并退出\n"
    "\n"
    "读取逻辑盘或物理硬盘需要root权限；镜像文件只需要读权限。命令行版: tavorine-mov-cli\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before any window system is needed.
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "--version") == 0) {
            std::printf("tavorine-mov %s\n", TAVORINE_VERSION);
            return 0;
        }
        if (std::strcmp(argv[k], "--help") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
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

#include "walkthrough.hpp"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

#include "app_windows.hpp"
#include "form1.hpp"
#include "form10.hpp"
#include "form2.hpp"
#include "form3.hpp"
#include "form4.hpp"
#include "form5.hpp"
#include "form6.hpp"
#include "form7.hpp"
#include "form8.hpp"
#include "scripted_dialogs.hpp"

namespace tav::app {

namespace {

void settle(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool wait_for(const std::function<bool()>& done, int timeout_ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeout_ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

class Shooter {
  public:
    explicit Shooter(QString folder) : folder_(std::move(folder)) {}
    void shoot(QWidget* window, const QString& name) {
        settle(150);
        const QString path = QDir(folder_).filePath(name + ".png");
        if (!window->grab().save(path)) {
            std::fprintf(stderr, "tavorine-mov: cannot write %s\n", qPrintable(path));
            ok_ = false;
        }
    }
    bool ok() const { return ok_; }

  private:
    QString folder_;
    bool ok_ = true;
};

void write_demo_item_ini(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return;
    file.write(
        "[common]\ncont=2\n[Item0]\nName=Tavorine 使用教程\nURL=http://www.tavmov.com/help/\n"
        "[Item1]\nName=常见问题解答\nURL=http://www.tavmov.com/faq/\n");
}

// Steps 1 and 2 and the option pages.
void walk_to_scan(AppContext& ctx, ScriptedDialogs& dialogs, Shooter& shots, const QString& image,
                  const QString& ini) {
    Forms& f = ctx.forms;
    f.form1->show();
    f.form1->load_link_items(ini);
    f.form1->tmr1Timer();
    shots.shoot(f.form1, "step1-fault-type");
    f.form1->btn2Click();
    shots.shoot(f.form8, "option-format-scheme");
    f.form8->btn1Click();
    shots.shoot(f.form10, "option-file-type");
    f.form10->btn1Click();
    dialogs.open_files.push_back(image);
    f.form5->btn2Click();
    shots.shoot(f.form5, "step2-source");
}

}  // namespace

int RunScreenshotWalk(const QString& folder) {
    const QString image = qEnvironmentVariable("TAVORINE_SCREENSHOT_CARD");
    QTemporaryDir work(QDir::temp().filePath("tavorine-walk-XXXXXX"));
    if (image.isEmpty() || !work.isValid() || !QDir().mkpath(folder)) {
        std::fprintf(stderr, "tavorine-mov: the walk needs TAVORINE_SCREENSHOT_CARD\n");
        return 2;
    }
    const QString ini = work.filePath("Item.ini");
    write_demo_item_ini(ini);

    ScriptedDialogs dialogs;
    AppContext ctx(dialogs);
    AppWindows windows(ctx);
    Forms& f = ctx.forms;
    Shooter shots(folder);
    walk_to_scan(ctx, dialogs, shots, image, ini);

    f.form5->btn1Click();
    // Keep the latest picture of step 3 while the scan runs.
    while (f.form3->isVisible() && f.form3->scanning()) {
        settle(120);
        if (f.form3->isVisible()) shots.shoot(f.form3, "step3-scan");
    }
    if (!wait_for([&] { return !f.form3->scanning(); }, 600'000)) return 3;
    f.form3->show();
    shots.shoot(f.form3, "step3-scan");
    f.form3->lbl2DblClick();
    f.form7->edt1->setText("wqnbtr");
    shots.shoot(f.form7, "expert-prompt");
    f.form3->hide();

    f.form2->show_results();
    f.form2->resize(1100, 700);
    f.form2->btn3Click();
    shots.shoot(f.form2, "step4-results");

    f.form2->btn1Click();
    dialogs.folders.push_back(work.filePath("recovered"));
    QDir().mkpath(work.filePath("recovered"));
    f.form4->btn2Click();
    f.form4->btn1Click();
    if (!wait_for([&] { return !f.form4->saving(); }, 600'000)) return 3;
    shots.shoot(f.form4, "step5-save");

    f.form7->edt1->setText("wqnbtrhzd");
    f.form7->btn1Click();
    f.form6->lv1->selectRow(0);
    f.form6->N1->trigger();
    f.form6->N2->trigger();
    f.form6->N3->trigger();
    shots.shoot(f.form6, "expert-view");
    return shots.ok() ? 0 : 1;
}

}  // namespace tav::app

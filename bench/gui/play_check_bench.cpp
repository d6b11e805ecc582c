// From the end of a scan to the first video play-checked, in the wizard: a
// generated card scanned through the windows (offscreen unless
// QT_QPA_PLATFORM says otherwise), timed from the moment the results list is
// shown to the first 可播放 outcome reaching the GUI thread, and to the
// last. Beside it, one direct check of the first listed video. Prints the
// median of a few rounds.
//
//   build/bench/play_check_bench [KIND] [FILES] [FRAMES] [ROUNDS]
//
// KIND is a card generator kind (raw by default); FILES and FRAMES its
// --files and --frames (-1: the kind's defaults).

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app_context.hpp"
#include "app_windows.hpp"
#include "cardgen/card.hpp"
#include "form1.hpp"
#include "form10.hpp"
#include "form2.hpp"
#include "form5.hpp"
#include "play_check.hpp"
#include "scripted_dialogs.hpp"

using namespace tav;
using namespace tav::app;

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Notes when a window is first shown.
class ShowWatch : public QObject {
  public:
    std::optional<Clock::time_point> shown;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show && !shown) shown = Clock::now();
        return false;
    }
};

struct Round {
    double scan_ms = 0;   // Next on step 2 to the results list shown
    double first_ms = 0;  // results shown to the first outcome
    double all_ms = 0;    // results shown to the last
    int rows = 0;
    double direct_ms = 0;  // one VerifyPlanned of the first row, outside the wizard
};

std::optional<Round> RunOnce(const std::string& image) {
    ScriptedDialogs dialogs;
    AppContext ctx(dialogs);
    ctx.checkpoint_folder.clear();
    AppWindows windows(ctx);
    ShowWatch watch;
    ctx.forms.form2->installEventFilter(&watch);
    std::optional<Clock::time_point> first;
    QObject::connect(ctx.play_check, &PlayCheck::row_checked, [&] {
        if (!first) first = Clock::now();
    });
    ctx.forms.form1->show();
    ctx.forms.form1->btn3Click();
    ctx.forms.form10->btn1Click();
    dialogs.open_files.push_back(QString::fromStdString(image));
    ctx.forms.form5->btn2Click();
    const auto start = Clock::now();
    ctx.forms.form5->btn1Click();
    QElapsedTimer limit;
    limit.start();
    while (!(watch.shown && ctx.play_check->active() && !ctx.play_check->busy())) {
        if (limit.elapsed() > 30 * 60 * 1000) return std::nullopt;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    const auto end = Clock::now();
    if (!first) return std::nullopt;
    Round r;
    r.scan_ms = Ms(start, *watch.shown);
    r.first_ms = Ms(*watch.shown, *first);
    r.all_ms = Ms(*watch.shown, end);
    const TableSet t = ctx.tables.snapshot();
    r.rows = static_cast<int>(t.results.row_count());
    if (const auto plan = PlanResultRow(t, 0, &ctx.rebuilt)) {
        const auto direct = Clock::now();
        (void)preview::VerifyPlanned(t.source_field, *plan);
        r.direct_ms = Ms(direct, Clock::now());
    }
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string kind = argc > 1 ? argv[1] : "raw";
    const int files = argc > 2 ? std::atoi(argv[2]) : -1;
    const int frames = argc > 3 ? std::atoi(argv[3]) : -1;
    const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
    QApplication app(argc, argv);
    SetUpApplication(app);

    QTemporaryDir dir;
    cardgen::CardRequest request;
    request.kind = kind;
    request.out = dir.filePath("card.img").toStdString();
    request.files = files;
    request.frames = frames;
    const auto manifest = cardgen::GenerateCard(request);
    if (!manifest) {
        std::fprintf(stderr, "play_check_bench: %s\n", manifest.error().c_str());
        return 2;
    }
    std::printf("%s card, %zu files on it, median of %d rounds\n", kind.c_str(),
                manifest->files.size(), rounds);

    std::vector<double> scan, first, all, direct;
    int rows = 0;
    for (int k = 0; k < rounds; ++k) {
        const auto r = RunOnce(request.out.string());
        if (!r) {
            std::fprintf(stderr, "play_check_bench: round %d did not finish\n", k + 1);
            return 1;
        }
        scan.push_back(r->scan_ms);
        first.push_back(r->first_ms);
        all.push_back(r->all_ms);
        direct.push_back(r->direct_ms);
        rows = r->rows;
    }
    std::printf("%9.1f ms  scan: Next on step 2 to the results list shown (%d rows)\n",
                Median(scan), rows);
    std::printf("%9.1f ms  results shown to the first row verified in the list\n", Median(first));
    std::printf("%9.1f ms  results shown to all %d rows verified\n", Median(all), rows);
    std::printf("%9.1f ms  one direct check of the first row, outside the wizard\n",
                Median(direct));
    return 0;
}

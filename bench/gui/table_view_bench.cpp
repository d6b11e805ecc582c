// The wizard's lists at 10,000 rows: showing the results list (step 4) and
// the expert view's two tables, refreshing them as a scan does, sorting
// the results list by each column and paging through the lists. Prints the
// median of a few rounds; runs offscreen unless QT_QPA_PLATFORM says
// otherwise.
//
//   build/bench/table_view_bench [ROWS] [ROUNDS]

#include <QAbstractItemView>
#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app_context.hpp"
#include "app_windows.hpp"
#include "form2.hpp"
#include "form6.hpp"
#include "qt_reporter.hpp"
#include "scripted_dialogs.hpp"
#include "table_refresher.hpp"

using namespace tav;
using namespace tav::app;

namespace {

// A fixed-seed generator: the same rows on every run.
struct Lcg {
    std::uint64_t state = 0x9e3779b97f4a7c15ull;
    std::int64_t next(std::int64_t below) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::int64_t>((state >> 33) % static_cast<std::uint64_t>(below));
    }
};

std::string date_text(Lcg& r) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d",
                  static_cast<int>(2008 + r.next(16)), static_cast<int>(1 + r.next(12)),
                  static_cast<int>(1 + r.next(28)), static_cast<int>(r.next(24)),
                  static_cast<int>(r.next(60)), static_cast<int>(r.next(60)));
    return text;
}

// Rows shaped like a scan's: a HEAD and a moov fragment per video, one
// output and one result row per video.
void fill(TableSet& t, int videos) {
    Lcg r;
    const char* grades[] = {"非常好", "好", "一般", "不完整"};
    std::int64_t offset = 1 << 20;
    for (int v = 0; v < videos; ++v) {
        const std::string number = std::to_string(v + 1);
        const std::int64_t length = 1'000'000 + r.next(4'000'000'000);
        const std::string frames = std::to_string(25 + r.next(100'000));
        const std::string date = date_text(r);
        const std::string grade = grades[r.next(4)];
        const std::string head = std::to_string(2 * v + 1), moov = std::to_string(2 * v + 2);
        t.fragments.add_row({head, "HEAD", std::to_string(offset), "mdat",
                             std::to_string(offset + length), std::to_string(length / 512), "",
                             frames, date, std::to_string(length), moov, "", "", "1", grade});
        offset += length;
        t.fragments.add_row({moov, "moov", std::to_string(offset), "moov",
                             std::to_string(offset + 40'000), "78", std::to_string(length + 40'000),
                             frames, date, "40000", head, std::to_string(offset + 1200),
                             std::to_string(offset + 9000), "0", grade});
        offset += 40'000 + r.next(1 << 20);
        const std::string size = std::to_string(length + 40'000);
        t.outputs.add_row({number, size, "2", grade, "0", head + "," + moov, frames, date});
        t.results.add_row({number, size, "2", grade, frames, date}, true);
    }
}

// prepare runs untimed before each round.
double median_ms(int rounds, const std::function<void()>& run,
                 const std::function<void()>& prepare = {}) {
    std::vector<double> ms;
    for (int k = 0; k < rounds; ++k) {
        if (prepare) prepare();
        const auto start = std::chrono::steady_clock::now();
        run();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

void paint(QTableView* view) {
    QCoreApplication::processEvents();
    view->viewport()->repaint();
}

// Pages from the top to the bottom, painting each page; the widgets under
// the view must be the same before and after.
void page_through(QTableView* view, int* pages, qsizetype* widgets_before,
                  qsizetype* widgets_after) {
    *widgets_before = view->findChildren<QWidget*>().size();
    QScrollBar* bar = view->verticalScrollBar();
    bar->setValue(0);
    *pages = 0;
    while (true) {
        paint(view);
        ++*pages;
        if (bar->value() >= bar->maximum()) break;
        bar->setValue(bar->value() + bar->pageStep());
    }
    *widgets_after = view->findChildren<QWidget*>().size();
}

// One round: every page is a sample already.
void report_paging(const char* name, QTableView* view) {
    int pages = 0;
    qsizetype before = 0, after = 0;
    const double ms = median_ms(1, [&] { page_through(view, &pages, &before, &after); });
    std::printf(
        "%9.1f ms  %s (%d pages, %.2f ms a page; widgets under the view: %lld, then %lld)\n", ms,
        name, pages, ms / std::max(pages, 1), static_cast<long long>(before),
        static_cast<long long>(after));
}

// The results arriving one row at a time from a worker thread with a
// change notice each, as a scan sends them, while the list is shown: until
// the list holds them all.
double arrive_ms(AppContext& ctx, TForm2* results) {
    const TableSet all = ctx.tables.snapshot();
    ctx.tables.with([](TableSet& t) { t.results.clear(); });
    ctx.refresher->refresh_all();
    QtReporter reporter(results, *results, ctx.dialogs);
    const int want = static_cast<int>(all.results.row_count());
    std::atomic<bool> done{false};
    const auto start = std::chrono::steady_clock::now();
    std::thread worker([&] {
        for (const TableRow& row : all.results.rows()) {
            ctx.tables.with([&](TableSet& t) { t.results.add_row(row.cells, row.checked); });
            reporter.table_changed(TableId::Results);
        }
        done = true;
    });
    QAbstractItemModel* model = results->lv1->model();
    while (!done || model->rowCount() < want) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        results->lv1->viewport()->repaint();
    }
    const auto end = std::chrono::steady_clock::now();
    worker.join();
    return std::chrono::duration<double, std::milli>(end - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const int rows = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10'000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    QApplication app(argc, argv);
    SetUpApplication(app);
    ScriptedDialogs dialogs;
    AppContext ctx(dialogs);
    ctx.checkpoint_folder.clear();
    AppWindows windows(ctx);
    TForm2* results = ctx.forms.form2;
    TForm6* expert = ctx.forms.form6;
    ctx.tables.with([&](TableSet& t) { fill(t, rows); });
    std::printf("results list %d rows, expert view %d fragment and %d output rows, median of %d\n",
                rows, 2 * rows, rows, rounds);

    const double show = median_ms(1, [&] {
        results->show_results();
        paint(results->lv1);
    });
    std::printf("%9.1f ms  results list: show with first paint\n", show);
    const double refresh = median_ms(rounds, [&] {
        ctx.refresher->refresh_all();
        paint(results->lv1);
    });
    std::printf("%9.1f ms  all three tables: refresh, results list painted\n", refresh);
    std::printf("%9.1f ms  results list: %d rows arriving one by one, a notice each, shown\n",
                arrive_ms(ctx, results), rows);
    for (int col = 0; col < results->lv1->model()->columnCount(); ++col) {
        const QString title = results->lv1->model()->headerData(col, Qt::Horizontal).toString();
        // Shuffled before each round: every round sorts the same disorder.
        const auto shuffle = [&] {
            ctx.tables.with([](TableSet& t) {
                Lcg r;
                auto& v = t.results.rows();
                for (std::size_t k = v.size(); k > 1; --k)
                    std::swap(v[k - 1],
                              v[static_cast<std::size_t>(r.next(static_cast<std::int64_t>(k)))]);
            });
        };
        const double ms = median_ms(
            rounds,
            [&] {
                results->lv1ColumnClick(col);
                paint(results->lv1);
            },
            shuffle);
        std::printf("%9.1f ms  results list: sort by %s, painted\n", ms, qPrintable(title));
    }
    report_paging("results list: paged top to bottom", results->lv1);
    results->hide();

    const double expert_show = median_ms(1, [&] {
        expert->show();
        paint(expert->lv1);
        paint(expert->lv2);
    });
    std::printf("%9.1f ms  expert view: show with first paint\n", expert_show);
    report_paging("expert view: fragments paged top to bottom", expert->lv1);
    report_paging("expert view: outputs paged top to bottom", expert->lv2);
    return 0;
}

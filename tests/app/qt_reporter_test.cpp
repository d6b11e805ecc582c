// The reporter adapter: calls from a worker thread reach the GUI thread in
// order, and a message box blocks the worker until the GUI thread answers.

#include <QTest>
#include <QThread>
#include <atomic>
#include <thread>

#include "qt_reporter.hpp"
#include "scripted_dialogs.hpp"

using namespace tav;
using namespace tav::app;

namespace {

struct RecordingTarget : ProgressTarget {
    QStringList log;
    std::int64_t maximum = -1, position = -1;
    QString panel2;
    std::vector<TableId> changed;
    int results = 0;
    std::vector<bool> on_gui_thread;

    void note() { on_gui_thread.push_back(QThread::currentThread() == qApp->thread()); }
    void append_log(const QString& line) override { note(), log << line; }
    void set_gauge_range(std::int64_t, std::int64_t max) override { note(), maximum = max; }
    void set_gauge_position(std::int64_t p) override { note(), position = p; }
    void set_status(int panel, const QString& text) override {
        note();
        if (panel == 2) panel2 = text;
    }
    void tables_changed(TableId t) override { note(), changed.push_back(t); }
    void results_ready() override { note(), ++results; }
};

}  // namespace

class QtReporterTest : public QObject {
    Q_OBJECT
  private slots:
    void worker_calls_arrive_in_order_on_the_gui_thread() {
        QObject gui;
        RecordingTarget target;
        ScriptedDialogs dialogs;
        QtReporter reporter(&gui, target, dialogs);
        std::thread worker([&] {
            for (int i = 0; i < 100; ++i) reporter.log_line("line " + std::to_string(i));
            reporter.gauge_range(0, 8'000'000'000);
            reporter.gauge_position(7'000'000'000);
            reporter.status_text(2, "当前保存编号为:3");
            reporter.table_changed(TableId::Results);
            reporter.show_results();
        });
        worker.join();
        QVERIFY(target.log.isEmpty());  // nothing ran on the worker thread
        QTRY_COMPARE(target.results, 1);
        QCOMPARE(target.log.size(), 100);
        QCOMPARE(target.log.front(), QStringLiteral("line 0"));
        QCOMPARE(target.log.back(), QStringLiteral("line 99"));
        QCOMPARE(target.maximum, std::int64_t{8'000'000'000});
        QCOMPARE(target.position, std::int64_t{7'000'000'000});
        QCOMPARE(target.panel2, QStringLiteral("当前保存编号为:3"));
        QCOMPARE(target.changed, std::vector<TableId>{TableId::Results});
        for (bool on_gui : target.on_gui_thread) QVERIFY(on_gui);
    }

    void message_box_waits_for_the_answer() {
        QObject gui;
        RecordingTarget target;
        ScriptedDialogs dialogs;
        dialogs.answers.push_back(MsgAnswer::Yes);
        QtReporter reporter(&gui, target, dialogs);
        std::atomic<int> answer{-1};
        std::thread worker([&] {
            const UserMessage question{"提示", "继续？", MsgIcon::Question, MsgButtons::YesNo};
            answer = static_cast<int>(reporter.message_box(question));
        });
        QTRY_COMPARE(answer.load(), static_cast<int>(MsgAnswer::Yes));
        worker.join();
        QCOMPARE(dialogs.shown.size(), std::size_t{1});
        QCOMPARE(dialogs.shown.front().owner, nullptr);
        QCOMPARE(dialogs.shown.front().message.text, std::string("继续？"));
    }

    void message_box_on_the_gui_thread_does_not_wait_for_itself() {
        QObject gui;
        RecordingTarget target;
        ScriptedDialogs dialogs;
        QtReporter reporter(&gui, target, dialogs);
        QCOMPARE(reporter.message_box({"a", "b", MsgIcon::None, MsgButtons::Ok}), MsgAnswer::Ok);
        QCOMPARE(dialogs.shown.size(), std::size_t{1});
    }
};

QTEST_MAIN(QtReporterTest)
#include "qt_reporter_test.moc"

// The play check of the results step: every listed video decoded on a worker
// once the list is up, the selected one next, stopped by its button or by
// leaving the step, never in a save's way; a rebuilt row read through its
// new header.

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>

#include "decoder_loader.hpp"
#include "lost_head_rows.hpp"
#include "play_check.hpp"
#include "playable_text.hpp"

using namespace tav;
using namespace tav::app;
using namespace tav::app::test;
using namespace std::chrono_literals;

namespace {

constexpr int kScanTimeoutMs = 120'000;
constexpr int kCheckTimeoutMs = 120'000;

QString Text(const CheckOutcome& outcome) {
    return QString::fromStdString(preview::PlayableText(outcome));
}

CheckOutcome EveryFrame() {
    preview::Verification v;
    v.end = preview::VerifyEnd::Finished;
    v.frames_listed = v.frames_decoded = 24;
    return v;
}

QStringList PlayableCells(const QTableView* view) {
    const QAbstractItemModel* model = view->model();
    int column = -1;
    for (int c = 0; c < model->columnCount(); ++c)
        if (model->headerData(c, Qt::Horizontal).toString() ==
            QString::fromUtf8(preview::kPlayableTitle))
            column = c;
    QStringList cells;
    for (int r = 0; r < model->rowCount(); ++r) cells << model->index(r, column).data().toString();
    return cells;
}

// A check whose first `held` calls wait until let go or stopped; every call
// that goes through answers that every frame decoded.
class HeldCheck {
  public:
    explicit HeldCheck(int held = 1) : held_(held) {}

    RowVerifier verifier() {
        return [this](const std::string&, const RowPlan&,
                      const preview::VerifyOptions& options) -> CheckOutcome {
            std::unique_lock lock(mutex_);
            others_busy_ = options.others_busy;
            if (calls_++ >= held_) return EveryFrame();
            ++waiting_;
            while (!let_go_ && options.stop->load() == 0) changed_.wait_for(lock, 2ms);
            --waiting_;
            if (let_go_) return EveryFrame();
            saw_stop_ = true;
            preview::Verification cut;
            cut.end = preview::VerifyEnd::Stopped;
            return cut;
        };
    }
    void let_go() {
        const std::lock_guard lock(mutex_);
        let_go_ = true;
        changed_.notify_all();
    }
    int waiting() {
        const std::lock_guard lock(mutex_);
        return waiting_;
    }
    bool saw_stop() {
        const std::lock_guard lock(mutex_);
        return saw_stop_;
    }
    int calls() {
        const std::lock_guard lock(mutex_);
        return calls_;
    }
    // What the check was told of the others now.
    bool others_busy() {
        const std::lock_guard lock(mutex_);
        return others_busy_ && others_busy_();
    }

  private:
    const int held_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool let_go_ = false;
    int calls_ = 0;
    int waiting_ = 0;
    bool saw_stop_ = false;
    std::function<bool()> others_busy_;
};

// Videos from..from+n-1, each a start region and a movie header within source.
void FillVideos(AppFixture& app, int n, const std::string& source, int from = 0) {
    app.edit_tables([&](TableSet& t) {
        t.source_field = source;
        for (int v = from; v < from + n; ++v) {
            const std::int64_t at = v * 65536;
            const auto first = static_cast<std::int64_t>(t.fragments.row_count());
            for (const auto& [type, start, end] :
                 {std::tuple{"HEAD", at, at + 32768}, std::tuple{"moov", at + 32768, at + 40000}}) {
                StagedFragmentRow row;
                row.start_type = type;
                row.start_offset = std::to_string(start);
                row.end_offset = std::to_string(end);
                AddFragmentRow(t.fragments, static_cast<std::int64_t>(t.fragments.row_count()) + 1,
                               row);
            }
            const std::string list = std::to_string(first) + "," + std::to_string(first + 1) + ",";
            AddOutputRow(t.outputs, v, {"40000", "2", "非常好", list, "0", "24", "2012:05:03"});
            AddResultRow(t.results, v, "40KB", "2", "非常好", "24", "2012:05:03");
        }
    });
}

// Loads the image on step 2 and presses Next.
void StartScanOf(AppFixture& app, const std::filesystem::path& image) {
    app.f.form1->btn3Click();
    app.f.form10->btn1Click();
    app.dialogs.open_files.push_back(QString::fromStdString(image.string()));
    app.f.form5->btn2Click();
    app.f.form5->btn1Click();
}

bool HaveDecoder() {
    return preview::LoadVerifier().has_value() && preview::LoadDecoder().has_value();
}

}  // namespace

class PlayCheckTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { SetUpApplication(*qApp); }

    void every_video_found_by_a_scan_is_checked_behind_the_list() {
        if (!HaveDecoder()) QSKIP("the decoder module cannot be loaded");
        const tav::test::Card& card = tav::test::GetCard("raw");
        QVERIFY2(card.ok(), card.error.c_str());
        AppFixture app;
        std::atomic<bool> on_gui_thread{false};
        app.ctx.play_check->use_verifier([&](const std::string& source, const RowPlan& plan,
                                             const preview::VerifyOptions& options) {
            if (QThread::currentThread() == qApp->thread()) on_gui_thread = true;
            return preview::VerifyPlanned(source, plan, options);
        });
        // The list as the first outcome arrives.
        int rows_at_first = -1;
        bool shown_at_first = false;
        connect(app.ctx.play_check, &PlayCheck::row_checked, this, [&] {
            if (rows_at_first >= 0) return;
            rows_at_first = app.f.form2->lv1->model()->rowCount();
            shown_at_first = app.f.form2->isVisible();
        });
        StartScanOf(app, card.image);
        QTRY_VERIFY_WITH_TIMEOUT(app.f.form2->isVisible(), kScanTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(app.ctx.play_check->active() && !app.ctx.play_check->busy(),
                                 kCheckTimeoutMs);
        QVERIFY(!on_gui_thread);

        const TableSet t = app.tables();
        const int rows = static_cast<int>(t.results.row_count());
        QVERIFY(rows > 0);
        QVERIFY(shown_at_first);
        QCOMPARE(rows_at_first, rows);
        QStringList direct;
        for (std::size_t s = 0; s < t.results.row_count(); ++s) {
            const auto plan = PlanResultRow(t, s, &app.ctx.rebuilt);
            QVERIFY2(plan, plan ? "" : plan.error().c_str());
            direct << Text(preview::VerifyPlanned(t.source_field, *plan));
        }
        QCOMPARE(PlayableCells(app.f.form2->lv1), direct);
        QVERIFY(!direct.contains(QString()));

        // The expert view's output list shows the same cell for each 编号.
        const QStringList outputs = PlayableCells(app.f.form6->lv2);
        QCOMPARE(outputs.size(), static_cast<int>(t.outputs.row_count()));
        for (std::size_t r = 0; r < t.outputs.row_count(); ++r)
            for (std::size_t s = 0; s < t.results.row_count(); ++s)
                if (t.results.cell(s, resc::Number) == t.outputs.cell(r, outc::Number))
                    QCOMPARE(outputs[static_cast<int>(r)], direct[static_cast<int>(s)]);
    }

    void a_row_selected_during_a_check_goes_next_data() {
        QTest::addColumn<bool>("in_expert_view");
        QTest::newRow("results list") << false;
        QTest::newRow("expert view's output list") << true;
    }
    void a_row_selected_during_a_check_goes_next() {
        QFETCH(bool, in_expert_view);
        HeldCheck check;
        AppFixture app;
        app.ctx.play_check->use_verifier(check.verifier());
        FillVideos(app, 5, "/nonexistent/card.img");
        QSignalSpy order(app.ctx.play_check, &PlayCheck::row_checked);
        app.f.form2->show_results();
        QTRY_COMPARE(check.waiting(), 1);
        QTRY_COMPARE(PlayableCells(app.f.form2->lv1).front(),
                     QString::fromUtf8(preview::kCheckingText));
        if (in_expert_view) {
            app.f.form6->show();
            app.f.form6->lv2->selectRow(3);
        } else {
            app.f.form2->lv1->selectRow(3);
        }
        check.let_go();
        QTRY_COMPARE(order.count(), 5);
        QStringList numbers;
        for (const QList<QVariant>& call : order) numbers << call.front().toString();
        QCOMPARE(numbers, (QStringList{"0", "3", "1", "2", "4"}));
        QCOMPARE(PlayableCells(app.f.form2->lv1), QStringList(5, Text(EveryFrame())));
    }

    void a_video_is_checked_again_only_once_its_file_changed_data() {
        QTest::addColumn<int>("change");
        QTest::addColumn<int>("checked_again");
        QTest::newRow("a tick") << 0 << 0;
        QTest::newRow("another order") << 1 << 0;
        QTest::newRow("another end of video 1's start region") << 2 << 1;
    }
    void a_video_is_checked_again_only_once_its_file_changed() {
        QFETCH(int, change);
        QFETCH(int, checked_again);
        HeldCheck check(0);
        AppFixture app;
        app.ctx.play_check->use_verifier(check.verifier());
        FillVideos(app, 3, "/nonexistent/card.img");
        app.f.form2->show_results();
        QTRY_COMPARE(PlayableCells(app.f.form2->lv1), QStringList(3, Text(EveryFrame())));
        QCOMPARE(check.calls(), 3);

        app.edit_tables([&](TableSet& t) {
            if (change == 0) t.results.set_checked(0, true);
            if (change == 1) std::swap(t.results.rows()[0], t.results.rows()[2]);
            if (change == 2) t.fragments.set_cell(2, frag::EndOffset, "98000");
        });
        // A new video, checked once the list was read again.
        FillVideos(app, 1, "/nonexistent/card.img", 3);
        QTRY_COMPARE(PlayableCells(app.f.form2->lv1), QStringList(4, Text(EveryFrame())));
        QTRY_VERIFY(!app.ctx.play_check->busy());
        QCOMPARE(check.calls(), 3 + checked_again + 1);
    }

    void stopping_leaves_unchecked_rows_empty_until_resumed() {
        HeldCheck check;
        AppFixture app;
        app.ctx.play_check->use_verifier(check.verifier());
        FillVideos(app, 3, "/nonexistent/card.img");
        app.f.form2->show_results();
        QTRY_COMPARE(PlayableCells(app.f.form2->lv1),
                     (QStringList{QString::fromUtf8(preview::kCheckingText), {}, {}}));
        QCOMPARE(app.f.form2->btn9->text(), QStringLiteral("停止检查"));

        app.f.form2->btn9->click();
        QVERIFY(check.saw_stop());
        QVERIFY(!app.ctx.play_check->active());
        QTRY_COMPARE(PlayableCells(app.f.form2->lv1), QStringList(3, QString()));
        QCOMPARE(app.f.form2->btn9->text(), QStringLiteral("继续检查"));

        app.f.form2->btn9->click();
        QTRY_COMPARE(PlayableCells(app.f.form2->lv1), QStringList(3, Text(EveryFrame())));
        QTRY_VERIFY(!app.f.form2->btn9->isEnabled());
    }

    void leaving_the_step_ends_the_check_data() {
        QTest::addColumn<int>("way");
        QTest::newRow("window closed") << 0;
        QTest::newRow("back to the start, results dropped") << 1;
        QTest::newRow("back to the start from the save step") << 2;
        QTest::newRow("program ends") << 3;
    }
    void leaving_the_step_ends_the_check() {
        QFETCH(int, way);
        HeldCheck check;  // outlives the program: its call is held until stopped
        auto app = std::make_unique<AppFixture>();
        app->ctx.play_check->use_verifier(check.verifier());
        FillVideos(*app, 3, "/nonexistent/card.img");
        app->f.form2->show_results();
        QTRY_COMPARE(check.waiting(), 1);
        if (way == 0) {
            app->f.form2->close();
        } else if (way == 1) {
            app->dialogs.answers.push_back(MsgAnswer::Yes);
            app->f.form2->btn2Click();
        } else if (way == 2) {
            app->f.form2->btn3Click();
            app->f.form2->btn1Click();  // on to the save step: the check goes on
            QVERIFY(app->f.form4->isVisible());
            QVERIFY(app->ctx.play_check->active());
            app->f.form4->btn4Click();
        } else {
            app.reset();
        }
        QVERIFY(check.saw_stop());
        QCOMPARE(check.waiting(), 0);
        if (app) QVERIFY(!app->ctx.play_check->active());
    }

    void a_save_starts_while_a_check_is_held() {
        QTemporaryDir dir;
        const std::string source = dir.filePath("card.img").toStdString();
        std::ofstream(source, std::ios::binary) << std::string(1 << 20, '\0');
        HeldCheck check;
        AppFixture app;
        app.ctx.play_check->use_verifier(check.verifier());
        FillVideos(app, 2, source);
        app.f.form2->show_results();
        QTRY_COMPARE(check.waiting(), 1);
        QVERIFY(!check.others_busy());

        app.edit_tables([](TableSet& t) { t.results.set_checked(1, true); });
        app.f.form4->edt1->setText(dir.filePath("out") + "/");
        app.f.form4->btn1Click();
        QVERIFY(app.f.form4->saving());
        QVERIFY(check.others_busy());  // the check's reads are paced from here on
        QTRY_VERIFY(!app.f.form4->saving());
        QCOMPARE(check.waiting(), 1);  // the save did not wait for it
        QVERIFY2(app.f.form4->lbl4->text().startsWith(QStringLiteral("已写入1个文件")),
                 qPrintable(app.f.form4->lbl4->text()));
        QVERIFY(!check.others_busy());
        check.let_go();
    }

    void a_rebuilt_row_is_checked_through_its_new_header() {
        if (!HaveDecoder()) QSKIP("the decoder module cannot be loaded");
        const auto& card = tav::test::GetCard("lost-header");
        QVERIFY2(card.ok(), card.error.c_str());
        AppFixture app;
        QVERIFY(ListLostHeadToRebuild(app, card));
        app.f.form2->btn8->click();
        const TableSet t = app.tables();
        QCOMPARE(t.results.cell(0, resc::Quality), std::string(kRebuiltQuality));
        const auto plan = PlanResultRow(t, 0, &app.ctx.rebuilt);
        QVERIFY(plan);

        app.f.form2->show_results();
        QTRY_VERIFY_WITH_TIMEOUT(app.ctx.play_check->active() && !app.ctx.play_check->busy(),
                                 kCheckTimeoutMs);
        QCOMPARE(PlayableCells(app.f.form2->lv1),
                 QStringList{Text(preview::VerifyPlanned(t.source_field, *plan))});
    }
};

QTEST_MAIN(PlayCheckTest)
#include "play_check_test.moc"

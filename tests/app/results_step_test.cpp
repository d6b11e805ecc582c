// Step 4 (ticks, sort, back/next, the scan-result file buttons) and step 5's
// guards.

#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "app_fixture.hpp"

using namespace tav;
using namespace tav::app;
using namespace tav::app::test;

namespace {

void add_result(TableSet& t, int number, const std::string& frames) {
    AddResultRow(t.results, number, "1.5MB", "2", "非常好", frames, "2012:05:03 14:22:10");
}

std::vector<std::string> numbers(const TableSet& t) {
    std::vector<std::string> out;
    for (const TableRow& row : t.results.rows()) out.push_back(row.cells[0]);
    return out;
}

std::vector<bool> ticks(const TableSet& t) {
    std::vector<bool> out;
    for (const TableRow& row : t.results.rows()) out.push_back(row.checked);
    return out;
}

void fill_three(AppFixture& app) {
    app.edit_tables([](TableSet& t) {
        add_result(t, 0, "1000");
        add_result(t, 1, "900");
        add_result(t, 2, "25");
    });
}

}  // namespace

class ResultsStepTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { SetUpApplication(*qApp); }

    void tick_all_and_invert() {
        AppFixture app;
        fill_three(app);
        app.f.form2->btn4Click();
        QCOMPARE(ticks(app.tables()), (std::vector<bool>{true, true, true}));
        app.edit_tables([](TableSet& t) { t.results.set_checked(1, false); });
        app.f.form2->btn4Click();
        QCOMPARE(ticks(app.tables()), (std::vector<bool>{false, true, false}));
        app.f.form2->btn4Click();
        QCOMPARE(ticks(app.tables()), (std::vector<bool>{true, false, true}));
        app.f.form2->btn3Click();
        QCOMPARE(ticks(app.tables()), (std::vector<bool>{true, true, true}));
        // The view shows what the table holds.
        QAbstractItemModel* model = app.f.form2->lv1->model();
        QCOMPARE(model->rowCount(), 3);
        QCOMPARE(model->index(2, 0).data(Qt::CheckStateRole).toInt(), int{Qt::Checked});
    }

    void a_tick_in_the_view_reaches_the_table() {
        AppFixture app;
        fill_three(app);
        QAbstractItemModel* model = app.f.form2->lv1->model();
        QVERIFY(model->setData(model->index(1, 0), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(ticks(app.tables()), (std::vector<bool>{false, true, false}));
    }

    void header_click_sorts_numerically_and_back() {
        AppFixture app;
        fill_three(app);
        app.f.form2->lv1ColumnClick(4);  // 帧数
        QCOMPARE(numbers(app.tables()), (std::vector<std::string>{"2", "1", "0"}));
        QCOMPARE(app.f.form2->lv1->model()->index(1, 4).data().toString(), QStringLiteral("900"));
        app.f.form2->lv1ColumnClick(0);
        QCOMPARE(numbers(app.tables()), (std::vector<std::string>{"0", "1", "2"}));
    }

    void a_burst_of_change_notices_makes_one_refresh() {
        AppFixture app;
        QSignalSpy spy(app.ctx.refresher, &TableRefresher::refreshed);
        for (int i = 0; i < 2000; ++i) {
            app.ctx.tables.with([i](TableSet& t) { add_result(t, i, "10"); });
            app.ctx.refresher->changed(TableId::Results);
        }
        QCOMPARE(app.f.form2->lv1->model()->rowCount(), 0);  // not yet: coalesced
        QTRY_COMPARE(app.f.form2->lv1->model()->rowCount(), 2000);
        QCOMPARE(spy.count(), 1);
    }

    void next_needs_a_tick() {
        AppFixture app;
        fill_three(app);
        app.f.form2->show_results();
        app.f.form2->btn1Click();
        QCOMPARE(app.dialogs.shown.back().owner, static_cast<QWidget*>(app.f.form2));
        QCOMPARE(app.dialogs.shown.back().message.icon, MsgIcon::Question);
        QCOMPARE(app.last_text(),
                 QStringLiteral("请选中您要恢复的文件,您可以通过文件容量来找到想要恢复的文件，"
                                "如果无法确认容量建议您全选。"));
        QVERIFY(app.f.form2->isVisible());
        QVERIFY(!app.f.form4->isVisible());

        app.f.form4->mmo1->appendPlainText("old");
        app.f.form4->edt1->setText("/old/");
        app.f.form2->btn3Click();
        app.f.form2->btn1Click();
        QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form4});
        QVERIFY(app.f.form4->edt1->text().isEmpty());
        QVERIFY(app.f.form4->mmo1->toPlainText().isEmpty());
        QCOMPARE(app.f.form4->status(1), QStringLiteral("您所在位置第5步---保存"));
    }

    void back_asks_and_no_keeps_everything() {
        AppFixture app;
        fill_three(app);
        app.f.form2->show_results();
        app.f.form1->hide();
        app.f.form2->btn3Click();
        app.dialogs.answers.push_back(MsgAnswer::No);
        app.f.form2->btn2Click();
        QCOMPARE(app.dialogs.shown.back().message,
                 (UserMessage{"提示", "此操作将造成当前扫描结果丢失，是否继续？", MsgIcon::Question,
                              MsgButtons::YesNo}));
        QVERIFY(app.f.form2->isVisible());
        QCOMPARE(ticks(app.tables()), (std::vector<bool>{true, true, true}));
        app.dialogs.answers.push_back(MsgAnswer::Yes);
        app.f.form2->btn2Click();
        QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form1});
        QCOMPARE(app.tables().results.row_count(), std::size_t{3});
    }

    void scan_result_file_round_trip() {
        QTemporaryDir dir;
        const QString file = dir.filePath("result.vyr");
        AppFixture app;
        fill_three(app);
        app.edit_tables([](TableSet& t) { t.source_field = "/dev/sdz1"; });
        app.dialogs.save_files.push_back(file);
        app.f.form2->btn6Click();
        QVERIFY(QRegularExpression(R"(^ZoruzAvu-\d{4}-\d\d-\d\d \d\d-\d\d-\d\d\.vyr$)")
                    .match(app.dialogs.proposed_save_names.back())
                    .hasMatch());
        QTRY_VERIFY(!app.f.form2->file_job_running());
        QTRY_COMPARE(app.last_caption(), QStringLiteral("保存成功"));

        app.edit_tables([](TableSet& t) {
            t.clear_tables();
            t.source_field = "changed";
        });
        app.dialogs.open_files.push_back(file);
        app.f.form2->btn7Click();
        QTRY_VERIFY(!app.f.form2->file_job_running());
        QTRY_COMPARE(app.last_caption(), QStringLiteral("加载成功"));
        QCOMPARE(numbers(app.tables()), (std::vector<std::string>{"0", "1", "2"}));
        QCOMPARE(app.f.form6->lbledt4->text(), QStringLiteral("/dev/sdz1"));
        QCOMPARE(app.f.form2->lv1->model()->rowCount(), 3);
    }

    void cancelled_file_dialogs_keep_the_results() {
        AppFixture app;
        fill_three(app);
        app.f.form2->btn6Click();
        QCOMPARE(app.dialogs.shown.back().message.caption, std::string("路径为空"));
        QCOMPARE(app.last_text(), QStringLiteral("保存路径不能为空，请重新设置!"));
        app.f.form2->btn7Click();
        QCOMPARE(app.last_text(), QStringLiteral("加载路径不能为空，请重新设置!"));
        QCOMPARE(app.dialogs.shown.back().owner, nullptr);
        QCOMPARE(app.tables().results.row_count(), std::size_t{3});
    }

    void save_window_guards() {
        AppFixture app;
        app.f.form1->hide();
        app.f.form4->show();
        app.f.form4->SaveInProgress = true;
        app.f.form4->btn3Click();
        QCOMPARE(app.dialogs.shown.back().message,
                 (UserMessage{"提示", "正在保存PST文件，请您在保存完毕后再返回上一步！",
                              MsgIcon::Information, MsgButtons::Ok}));
        QCOMPARE(app.dialogs.shown.back().owner, nullptr);
        app.f.form4->btn4Click();
        QCOMPARE(app.last_text(), QStringLiteral("正在保存文件，请您在保存完毕后再返回主窗口！"));
        QVERIFY(app.f.form4->isVisible());

        // Browsing clears the flag even when nothing is picked.
        app.f.form4->btn2Click();
        QVERIFY(!app.f.form4->SaveInProgress);
        QCOMPARE(app.dialogs.shown.back().message,
                 (UserMessage{"提示", "保存路径为空，请设置好保存的路径。", MsgIcon::Question,
                              MsgButtons::Ok}));
        QCOMPARE(app.dialogs.shown.back().owner, static_cast<QWidget*>(app.f.form4));
        app.f.form4->btn1Click();
        QCOMPARE(app.last_text(), QStringLiteral("保存路径为空，请设置好保存的路径。"));
        QVERIFY(!app.f.form4->saving());

        app.dialogs.folders.push_back("/tmp/out");
        app.f.form4->btn2Click();
        QCOMPARE(app.f.form4->edt1->text(), QDir::toNativeSeparators(QStringLiteral("/tmp/out/")));
        app.dialogs.folders.push_back("/tmp/out2/");
        app.f.form4->btn2Click();
        QCOMPARE(app.f.form4->edt1->text(), QDir::toNativeSeparators(QStringLiteral("/tmp/out2/")));

        app.f.form4->btn3Click();
        QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form2});
        app.f.form2->hide();
        app.f.form4->show();
        app.f.form4->btn4Click();
        QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form1});
    }
};

QTEST_MAIN(ResultsStepTest)
#include "results_step_test.moc"

// The access-code prompt and the expert view's menu and fields.

#include "app_fixture.hpp"

using namespace tav;
using namespace tav::app;
using namespace tav::app::test;

namespace {

// A FragmentTable row: caption SN, then the cells that matter here.
std::vector<std::string> fragment(const std::string& sn, const std::string& start_type,
                                  const std::string& start, const std::string& end,
                                  const std::string& length_sectors, const std::string& quality) {
    std::vector<std::string> cells(frag::Count);
    cells[frag::SN] = sn;
    cells[frag::StartType] = start_type;
    cells[frag::StartOffset] = start;
    cells[frag::EndType] = start_type == "HEAD" ? "mdat" : "HEAD";
    cells[frag::EndOffset] = end;
    cells[frag::LengthSectors] = length_sectors;
    cells[frag::StszOff] = "111";
    cells[frag::StcoOff] = "222";
    cells[frag::Quality] = quality;
    return cells;
}

void fill(AppFixture& app) {
    app.edit_tables([](TableSet& t) {
        t.fragments.add_row(fragment("0", "HEAD", "0", "4095", "7", ""));
        t.fragments.add_row(fragment("1", "moov", "8192", "9000", "1", "非常好"));
    });
}

}  // namespace

class ExpertViewTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { SetUpApplication(*qApp); }

    void prompt_answers_each_wrong_code_then_opens_the_view() {
        AppFixture app;
        app.f.form3->show();
        QTest::mouseDClick(app.f.form3->lbl2, Qt::LeftButton);
        QVERIFY(app.f.form7->isVisible());
        QVERIFY(app.f.form7->edt1->text().isEmpty());
        QCOMPARE(app.f.form7->edt1->echoMode(), QLineEdit::Password);
        QVERIFY(qAbs(app.f.form7->windowOpacity() - 100.0 / 255.0) < 0.01);
        QCOMPARE(app.f.form3->lbl2->text(), QStringLiteral("      "));
        QCOMPARE(app.f.form3->lbl2->size(), QSize(24, 20));

        for (const char* wrong : {"", "WQNBTRHZD", "wqnbtrhz", "wqnbtrhzd ", "x"}) {
            app.f.form7->edt1->setText(wrong);
            app.f.form7->btn1Click();
            QCOMPARE(app.dialogs.shown.back().message,
                     (UserMessage{"Fuck", "Your Pass is wrong,Please Again,But Only one!",
                                  MsgIcon::Warning, MsgButtons::Ok}));
            QCOMPARE(app.dialogs.shown.back().owner, nullptr);
            QVERIFY(app.f.form7->isVisible());
            QCOMPARE(app.f.form7->edt1->text(), QString::fromUtf8(wrong));
        }
        QCOMPARE(app.dialogs.shown.size(), std::size_t{5});
        app.f.form7->edt1->setText("wqnbtrhzd");
        app.f.form7->btn1Click();
        QVERIFY(!app.f.form7->isVisible());
        QVERIFY(app.f.form6->isVisible());
        QCOMPARE(app.dialogs.shown.size(), std::size_t{5});
    }

    void menu_has_nine_items_in_order() {
        AppFixture app;
        QStringList captions;
        for (QAction* a : app.f.form6->pm1->actions()) captions << a->text();
        QCOMPARE(captions,
                 (QStringList{"复制【碎片起始偏移】", "复制【碎片结束偏移】", "复制【碎片长度】",
                              "复制【STSZ-OFF】", "复制【STCO-OFF】", "选定【非常好之外的碎片】",
                              "选定【非常好、好之外的碎片】", "修改【mdat碎片结束偏移、长度】",
                              "添加【选定碎片到输出列表】"}));
        QVERIFY(app.f.form6->lv1->showGrid());
        QVERIFY(app.f.form6->lbledt1->isReadOnly());
        QVERIFY(!app.f.form6->lbledt4->isReadOnly());
    }

    void copy_items_follow_the_selected_row() {
        AppFixture app;
        fill(app);
        app.f.form6->N1->trigger();
        QVERIFY(app.f.form6->lbledt1->text().isEmpty());
        app.f.form6->lv1->selectRow(1);
        app.f.form6->N1->trigger();
        app.f.form6->N2->trigger();
        app.f.form6->N4->trigger();
        QCOMPARE(app.f.form6->lbledt1->text(), QStringLiteral("8192"));
        QCOMPARE(app.f.form6->lbledt2->text(), QStringLiteral("9000"));
        QCOMPARE(app.f.form6->lbledt3->text(), QStringLiteral("111"));
        app.f.form6->STCOOFF1->trigger();
        QCOMPARE(app.f.form6->lbledt3->text(), QStringLiteral("222"));
        app.f.form6->N3->trigger();
        QCOMPARE(app.f.form6->lbledt3->text(), QStringLiteral("1"));
    }

    void add_and_correct_need_a_tick() {
        AppFixture app;
        fill(app);
        app.f.form6->N5->trigger();
        QCOMPARE(app.dialogs.shown.back().message,
                 (UserMessage{"未选中", "请选中要添加的碎片！", MsgIcon::None, MsgButtons::Ok}));
        app.f.form6->mdat1->trigger();
        QCOMPARE(app.last_text(), QStringLiteral("请选中要修改的碎片！"));
        QCOMPARE(app.dialogs.shown.back().owner, nullptr);
    }

    void ticked_fragment_becomes_a_listed_file() {
        AppFixture app;
        fill(app);
        QAbstractItemModel* model = app.f.form6->lv1->model();
        QVERIFY(model->setData(model->index(0, 0), Qt::Checked, Qt::CheckStateRole));
        QVERIFY(model->setData(model->index(1, 0), Qt::Checked, Qt::CheckStateRole));
        app.f.form6->N5->trigger();
        QVERIFY(app.dialogs.shown.empty());
        QCOMPARE(app.tables().outputs.row_count(), std::size_t{1});
        QCOMPARE(app.tables().results.cell(0, resc::FileLength), std::string("4096"));
        QCOMPARE(app.tables().results.cell(0, resc::Quality), std::string("手动"));
        QCOMPARE(app.f.form2->lv1->model()->rowCount(), 1);
        QCOMPARE(app.f.form6->lv2->model()->rowCount(), 1);
    }

    void tick_by_quality_unticks_the_good_files() {
        AppFixture app;
        app.edit_tables([](TableSet& t) {
            t.fragments.add_row(fragment("0", "HEAD", "0", "4095", "7", ""));
            auto moov = fragment("1", "moov", "8192", "9000", "1", "非常好");
            moov[frag::Fragments] = "0,1,";
            t.fragments.add_row(moov);
            t.fragments.add_row(fragment("2", "HEAD", "20000", "30000", "20", ""));
        });
        app.f.form6->N7->trigger();
        std::vector<bool> ticks;
        const TableSet now = app.tables();
        for (const TableRow& row : now.fragments.rows()) ticks.push_back(row.checked);
        QCOMPARE(ticks, (std::vector<bool>{false, false, true}));
        QCOMPARE(app.f.form6->lv1->model()->index(2, 0).data(Qt::CheckStateRole).toInt(),
                 int{Qt::Checked});
    }

    void source_field_edits_reach_the_tables() {
        AppFixture app;
        app.f.form6->show();
        app.f.form6->lbledt4->setFocus();
        QTest::keyClicks(app.f.form6->lbledt4, "/dev/sdq");
        QCOMPARE(app.tables().source_field, std::string("/dev/sdq"));
    }
};

QTEST_MAIN(ExpertViewTest)
#include "expert_view_test.moc"

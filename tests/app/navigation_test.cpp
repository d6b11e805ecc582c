// The wizard's flow between step 1, the option pages and step 2.

#include <QFile>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "app_fixture.hpp"

using namespace tav;
using namespace tav::app;
using namespace tav::app::test;

class NavigationTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { SetUpApplication(*qApp); }

    void qt_buttons_speak_chinese() {
        if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                           QStringLiteral("/qtbase_zh_CN.qm")))
            QSKIP("Qt's Chinese translations are not installed");
        QMessageBox box(QMessageBox::Question, QString(), QString(),
                        QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
        QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));
    }

    // A 1366x768 laptop screen less a panel: every window must be able to
    // shrink to it, so nothing is cut off where the user cannot reach it.
    void every_window_fits_a_small_laptop_screen() {
        AppFixture app;
        const QSize screen(1366, 768 - 40);
        for (QWidget* w : std::initializer_list<QWidget*>{app.f.form1, app.f.form10, app.f.form2,
                                                          app.f.form3, app.f.form4, app.f.form5,
                                                          app.f.form6, app.f.form7, app.f.form8}) {
            const QSize least = w->minimumSizeHint().expandedTo(w->minimumSize());
            QVERIFY2(
                least.width() <= screen.width() && least.height() <= screen.height(),
                qPrintable(w->windowTitle() +
                           QStringLiteral(" needs %1x%2").arg(least.width()).arg(least.height())));
            QVERIFY2(w->size().width() <= screen.width() && w->size().height() <= screen.height(),
                     qPrintable(w->windowTitle()));
        }
    }

    void start_up_shows_only_step1_with_its_texts() {
        AppFixture app;
        QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form1});
        QCOMPARE(app.f.form1->windowTitle(), QStringLiteral("Tavorine-MOV Recovery Tools"));
        QCOMPARE(app.f.form1->status(0), QStringLiteral("就绪"));
        QCOMPARE(app.f.form1->status(1), QStringLiteral("您所在位置第1步---故障类型"));
        QCOMPARE(app.f.form1->tmr1->interval(), 2000);
        QVERIFY(app.f.form1->tmr1->isActive());
        QCOMPARE(app.f.form1->lbl2->text(), QStringLiteral("访问论坛 "));
        QVERIFY(app.f.form1->lbl1->text().startsWith(QStringLiteral("客服邮箱:")));
        QCOMPARE(app.f.form8->windowTitle(), QStringLiteral("误格式化选项"));
        QCOMPARE(app.f.form10->windowTitle(), QStringLiteral("选择文件类型"));
        QTest::mouseClick(app.f.form1->lbl2, Qt::LeftButton);
        QCOMPARE(app.dialogs.opened_urls.back(), QStringLiteral("http://www.tavmov.com/bbs/"));
    }

    void back_from_the_file_type_page_depends_on_the_fault_type() {
        AppFixture app;
        app.f.form1->btn1Click();
        QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form10});
        app.f.form10->btn3Click();
        QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form1});

        app.f.form1->btn2Click();
        QCOMPARE(app.ctx.settings.ScanMode, int{kModeFormat});
        QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form8});
        app.f.form8->btn1Click();
        QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form10});
        app.f.form10->btn3Click();
        QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form8});
        app.f.form8->btn3Click();
        QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form1});

        app.f.form1->btn3Click();
        QCOMPARE(app.ctx.settings.ScanMode, int{kModeDeep});
        app.f.form10->btn3Click();
        QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form1});
    }

    void formatting_page_always_starts_from_scheme_a() {
        AppFixture app;
        app.f.form1->btn2Click();
        app.f.form8->rb2->setChecked(true);
        app.f.form8->btn1Click();
        QCOMPARE(app.ctx.settings.FormatScheme, std::uint8_t{1});
        app.f.form10->btn3Click();
        app.f.form8->btn3Click();
        app.f.form1->btn2Click();
        QVERIFY(app.f.form8->rb1->isChecked());
        QVERIFY(!app.f.form8->rb2->isChecked());
        app.f.form8->btn1Click();
        QCOMPARE(app.ctx.settings.FormatScheme, std::uint8_t{0});
    }

    void scheme_survives_a_pass_that_skips_the_formatting_page() {
        AppFixture app;
        app.f.form1->btn2Click();
        app.f.form8->rb2->setChecked(true);
        app.f.form8->btn1Click();
        app.f.form10->btn3Click();
        app.f.form8->btn3Click();
        app.f.form1->btn1Click();
        QCOMPARE(app.ctx.settings.FormatScheme, std::uint8_t{1});
    }

    void file_type_is_rechecked_and_large_file_box_is_kept() {
        AppFixture app;
        app.f.form1->btn1Click();
        QVERIFY(app.f.form10->rb2->isChecked());
        QVERIFY(app.ctx.settings.FileTypeAnyVideo && !app.ctx.settings.FileTypeMov);
        QVERIFY(!app.f.form10->chk1->isChecked());
        app.f.form10->chk1->setChecked(true);
        QVERIFY(app.ctx.settings.LargeFileOnly);
        app.f.form10->rb1->setChecked(true);
        QVERIFY(app.ctx.settings.FileTypeMov && !app.ctx.settings.FileTypeAnyVideo);
        app.f.form10->btn3Click();
        app.f.form1->btn3Click();
        QVERIFY(app.f.form10->rb2->isChecked());
        QVERIFY(app.ctx.settings.FileTypeAnyVideo && !app.ctx.settings.FileTypeMov);
        QVERIFY(app.f.form10->chk1->isChecked());
        QVERIFY(app.ctx.settings.LargeFileOnly);
    }

    void next_enters_step2_and_its_back_hides_the_option_pages() {
        AppFixture app;
        app.f.form1->btn2Click();
        app.f.form8->btn1Click();
        app.f.form10->btn1Click();
        QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form5});
        QCOMPARE(app.f.form5->status(0), QStringLiteral("选择盘符"));
        QCOMPARE(app.f.form5->status(1), QStringLiteral("您所在位置第2步---选择盘符"));
        app.f.form8->show();  // even a stray option page goes
        app.f.form5->btn4Click();
        QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form1});
    }

    void enter_moves_on_and_escape_cancels() {
        AppFixture app;
        app.f.form1->btn2Click();
        const auto press = [](QWidget* window, Qt::Key key) {
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window));
            QTest::keyClick(window, key);
        };
        press(app.f.form8, Qt::Key_Return);
        QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form10});
        press(app.f.form10, Qt::Key_Enter);
        QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form5});
        press(app.f.form5, Qt::Key_Escape);
        QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form1});
    }

    void closing_an_intermediate_window_returns_to_step1() {
        AppFixture app;
        app.f.form1->btn2Click();
        app.f.form8->close();
        QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form1});
        app.f.form1->btn1Click();
        app.f.form10->close();
        QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form1});
        app.f.form1->btn1Click();
        app.f.form10->btn1Click();
        app.f.form5->close();
        QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form1});
    }
};

QTEST_MAIN(NavigationTest)
#include "navigation_test.moc"

// Item.ini parsing, the site check, the rotation of the link label, and what
// step 1 makes of them.

#include <QTemporaryDir>

#include "app_fixture.hpp"
#include "link_rotation.hpp"

using namespace tav;
using namespace tav::app;
using namespace tav::app::test;

class LinkRotationTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { SetUpApplication(*qApp); }

    void parses_entries_and_reads_missing_keys_as_error() {
        const auto items = ParseItemIni(
            "[common]\r\ncont=2\r\n[Item0]\r\nName=First\r\nURL=http://www.tavmov.com/a\r\n"
            "[item1]\r\nname=Second\r\n");
        QVERIFY(items.has_value());
        QCOMPARE(items->names.size(), std::size_t{2});
        QCOMPARE(items->names[1], std::string("Second"));
        QCOMPARE(items->urls[1], std::string(kMissingKey));
    }

    void no_cont_means_no_entries() {
        const auto items = ParseItemIni("[Item0]\nName=x\nURL=http://www.tavmov.com/\n");
        QVERIFY(items.has_value());
        QVERIFY(items->names.empty());
        QVERIFY(!SiteCheckPasses(items->urls, kSiteName));
    }

    void non_decimal_cont_is_an_error_naming_the_text() {
        for (const char* bad : {"abc", "2x", "-1", ""}) {
            const auto items = ParseItemIni(std::string("[common]\ncont=") + bad + "\n");
            QVERIFY2(!items.has_value(), bad);
            QVERIFY(items.error().find(std::string("'") + bad + "'") != std::string::npos);
        }
    }

    void huge_count_with_few_sections_fails_the_check_quickly() {
        const auto items = ParseItemIni(
            "[common]\ncont=4000000000\n[Item0]\nName=a\nURL=http://www.tavmov.com/\n");
        QVERIFY(items.has_value());
        QVERIFY(items->urls.size() <= 2);
        QVERIFY(!SiteCheckPasses(items->urls, kSiteName));
    }

    void site_check_looks_at_characters_12_to_17() {
        QVERIFY(SiteCheckPasses({"http://www.tavmov.com/x", "http://www.tavmov.net"}, "tavmov"));
        QVERIFY(!SiteCheckPasses({"http://www.tavmov.com/", "http://www.other.com/"}, "tavmov"));
        QVERIFY(!SiteCheckPasses({"https://www.tavmov.com/"}, "tavmov"));
        QVERIFY(!SiteCheckPasses({"http://www.TAVMOV.com/"}, "tavmov"));
        QVERIFY(!SiteCheckPasses({"http://www.tavm"}, "tavmov"));
        QVERIFY(!SiteCheckPasses({}, "tavmov"));
    }

    void rotation_walks_holds_and_wraps() {
        LinkRotation three(3);
        std::vector<std::pair<bool, std::size_t>> ticks;
        for (int i = 0; i < 8; ++i) {
            const bool shows = three.tick();
            ticks.emplace_back(shows, three.index());
        }
        const std::vector<std::pair<bool, std::size_t>> expected = {
            {true, 1}, {true, 2}, {false, 3}, {true, 0},
            {true, 1}, {true, 2}, {false, 3}, {true, 0}};
        QCOMPARE(ticks, expected);
    }

    void single_entry_shows_from_second_tick_and_is_dead_on_index_one() {
        LinkRotation one(1);
        QVERIFY(!one.tick());
        QVERIFY(!one.clickable());
        QVERIFY(one.tick());
        QCOMPARE(one.index(), std::size_t{0});
        QVERIFY(one.clickable());
    }

    void step1_creates_the_label_and_rotates_it() {
        QTemporaryDir dir;
        const QString ini = dir.filePath("Item.ini");
        write(ini,
              "[common]\ncont=2\n[Item0]\nName=论坛\nURL=http://www.tavmov.com/bbs/\n"
              "[Item1]\nName=教程\nURL=http://www.tavmov.com/help/\n");
        AppFixture app;
        app.f.form1->load_link_items(ini);
        myLabel* label = app.f.form1->LinkLabel;
        QVERIFY(label != nullptr);
        QVERIFY(label->text().isEmpty());
        QCOMPARE(label->x(), 80 + 200 + 4);
        app.f.form1->tmr1Timer();
        QCOMPARE(label->text(), QStringLiteral("教程"));
        QTest::mouseClick(label, Qt::LeftButton);
        QCOMPARE(app.dialogs.opened_urls.back(), QStringLiteral("http://www.tavmov.com/help/"));
        app.f.form1->tmr1Timer();  // index 2 = n: nothing changes, clicks open nothing
        QCOMPARE(label->text(), QStringLiteral("教程"));
        QTest::mouseClick(label, Qt::LeftButton);
        QCOMPARE(app.dialogs.opened_urls.size(), std::size_t{1});
        app.f.form1->tmr1Timer();
        QCOMPARE(label->text(), QStringLiteral("论坛"));
    }

    void hover_stops_the_timer_and_leaving_restarts_it() {
        QTemporaryDir dir;
        const QString ini = dir.filePath("Item.ini");
        write(ini, "[common]\ncont=1\n[Item0]\nName=a\nURL=http://www.tavmov.com/\n");
        AppFixture app;
        app.f.form1->load_link_items(ini);
        myLabel* label = app.f.form1->LinkLabel;
        QVERIFY(label);
        QVERIFY(app.f.form1->tmr1->isActive());
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(label, &enter);
        QVERIFY(!app.f.form1->tmr1->isActive());
        QVERIFY(label->font().underline());
        QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(label, &leave);
        QVERIFY(app.f.form1->tmr1->isActive());
        QVERIFY(!label->font().underline());
    }

    void no_label_for_zero_count_or_a_foreign_address() {
        QTemporaryDir dir;
        const QString ini = dir.filePath("Item.ini");
        for (const char* text : {"[common]\ncont=0\n",
                                 "[common]\ncont=2\n[Item0]\nURL=http://www.tavmov.com/\n[Item1]\n"
                                 "URL=http://www.elsewhere.com/\n"}) {
            write(ini, text);
            AppFixture app;
            app.f.form1->load_link_items(ini);
            QVERIFY(app.f.form1->LinkLabel == nullptr);
            QVERIFY(app.dialogs.shown.empty());
        }
    }

    void bad_count_is_reported_and_creates_no_label() {
        QTemporaryDir dir;
        const QString ini = dir.filePath("Item.ini");
        write(ini, "[common]\ncont=zwei\n");
        AppFixture app;
        app.f.form1->load_link_items(ini);
        QVERIFY(app.f.form1->LinkLabel == nullptr);
        QCOMPARE(app.dialogs.shown.size(), std::size_t{1});
        QVERIFY(app.last_text().contains("zwei"));
    }

  private:
    static void write(const QString& path, const QByteArray& text) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }
};

QTEST_MAIN(LinkRotationTest)
#include "link_rotation_test.moc"

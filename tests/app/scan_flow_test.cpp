// A scan through the windows on a generated card: the log header, the stop
// question, and one whole run from loading the image to the saved files.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <set>

#include "app_fixture.hpp"
#include "support/cards.hpp"

using namespace tav;
using namespace tav::app;
using namespace tav::app::test;

namespace {

constexpr int kScanTimeoutMs = 120'000;

std::string fnv1a_hex(const QByteArray& bytes) {
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : bytes) {
        h ^= static_cast<std::uint8_t>(c);
        h *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

const tav::test::Card& raw_card() {
    const tav::test::Card& card = tav::test::GetCard("raw");
    if (!card.ok()) qFatal("card: %s", card.error.c_str());
    return card;
}

// Loads the image on step 2 and presses Next.
void start_scan_of(AppFixture& app, const QString& image) {
    app.f.form1->btn3Click();
    app.f.form10->btn1Click();
    app.dialogs.open_files.push_back(image);
    app.f.form5->btn2Click();
    app.f.form5->btn1Click();
}

QStringList log_messages(const TForm3* form) {
    QStringList out;
    for (const QString& line : form->mmo1->toPlainText().split('\n'))
        out << line.section(QStringLiteral("]  "), 1);
    return out;
}

}  // namespace

class ScanFlowTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        SetUpApplication(*qApp);
        raw_card();
    }

    void next_writes_the_log_header_and_opens_step3() {
        const QString image = QString::fromStdString(raw_card().image.string());
        AppFixture app;
        start_scan_of(app, image);
        QVERIFY(app.f.form3->isVisible());
        QVERIFY(!app.f.form5->isVisible());
        QVERIFY(!app.f.form1->isVisible());
        QCOMPARE(app.f.form3->status(1), QStringLiteral("您所在位置第3步---扫描"));
        const QStringList lines = log_messages(app.f.form3);
        QVERIFY(lines.size() >= 6);
        QCOMPARE(lines[0], QStringLiteral("镜像文件:  ") + image);
        QCOMPARE(lines[1], QStringLiteral("扫描方式:  深入扫描"));
        QCOMPARE(lines[2], QStringLiteral("文件系统:  Raw"));
        QCOMPARE(lines[3], QStringLiteral("扇区大小:  512Byte"));
        QCOMPARE(lines[4], QStringLiteral("起始扇区:  0"));
        QCOMPARE(lines[5], QStringLiteral("结束扇区:  ") +
                               QString::number(raw_card().manifest.image_size / 512));
        QVERIFY(app.f.form3->mmo1->toPlainText().startsWith('['));
        QCOMPARE(app.tables().source_field, image.toStdString());
        QCOMPARE(app.f.form6->lbledt4->text(), image);
        app.f.form3->stop_and_wait();
    }

    void answering_no_to_stop_keeps_the_scan_going() {
        const QString image = QString::fromStdString(raw_card().image.string());
        AppFixture app;
        start_scan_of(app, image);
        app.dialogs.answers.push_back(MsgAnswer::No);
        app.f.form3->btn1Click();
        QCOMPARE(app.dialogs.shown.back().message,
                 (UserMessage{"提示",
                              "停止扫描将会导致碎片收集不全从而影响重组的成功率，"
                              "请确认您是否要停止扫描！",
                              MsgIcon::Information, MsgButtons::YesNo}));
        QTRY_VERIFY_WITH_TIMEOUT(app.f.form2->isVisible(), kScanTimeoutMs);
        QCOMPARE(app.f.form2->lv1->model()->rowCount(),
                 static_cast<int>(raw_card().with_state("placed").size()));
        // No also clears an earlier request; set only once the scanner has ended,
        // since a running scanner would honour it at once.
        app.ctx.StopRequested = 1;
        app.dialogs.answers.push_back(MsgAnswer::No);
        app.f.form3->btn1Click();
        QCOMPARE(int{app.ctx.StopRequested}, 0);
        // Beside the gauge: every start region the scan came across.
        int heads = 0;
        const auto tables = app.tables();
        for (const auto& row : tables.fragments.rows())
            heads += row.cells[frag::StartType] == "HEAD" ? 1 : 0;
        QVERIFY(heads > 0);
        QVERIFY2(app.f.form3->lbl3->text().endsWith(QStringLiteral("已发现视频: %1个").arg(heads)),
                 qPrintable(app.f.form3->lbl3->text()));
    }

    void closing_step3_stops_and_shows_the_results() {
        const QString image = QString::fromStdString(raw_card().image.string());
        AppFixture app;
        start_scan_of(app, image);
        app.f.form3->close();
        QCOMPARE(int{app.ctx.StopRequested}, 1);
        QVERIFY(app.f.form2->isVisible());
        app.f.form3->stop_and_wait();
        QVERIFY(!app.f.form3->scanning());
    }

    void stop_and_load_question() {
        const QString image = QString::fromStdString(raw_card().image.string());
        AppFixture app;
        start_scan_of(app, image);
        app.f.form3->btn2Click();  // answered No
        QCOMPARE(app.last_text(), QStringLiteral("您是否要停止扫描并加载扫描结果？"));
        QCOMPARE(int{app.ctx.StopRequested}, 0);
        QVERIFY(app.f.form3->isVisible());
        app.dialogs.answers.push_back(MsgAnswer::Yes);
        app.f.form3->btn2Click();
        QCOMPARE(int{app.ctx.StopRequested}, 1);
        QVERIFY(!app.f.form3->isVisible());
        QVERIFY(app.f.form2->isVisible());
        app.f.form3->stop_and_wait();
    }

    void whole_run_saves_every_file_intact() {
        const tav::test::Card& card = raw_card();
        QTemporaryDir out;
        AppFixture app;
        start_scan_of(app, QString::fromStdString(card.image.string()));
        QTRY_VERIFY_WITH_TIMEOUT(app.f.form2->isVisible(), kScanTimeoutMs);
        QTRY_VERIFY(!app.f.form3->scanning());
        const int rows = app.f.form2->lv1->model()->rowCount();
        QVERIFY(rows > 0);

        app.f.form2->btn3Click();
        app.f.form2->btn1Click();
        QVERIFY(app.f.form4->isVisible());
        // A typed folder that does not exist yet is made.
        const QString folder = out.path() + QStringLiteral("/typed/here");
        app.f.form4->edt1->setText(folder);
        app.f.form4->btn1Click();
        QTRY_VERIFY_WITH_TIMEOUT(!app.f.form4->saving(), kScanTimeoutMs);
        QVERIFY(!app.f.form4->SaveInProgress);
        // The last file's progress: every ticked file written, in total.
        QTRY_VERIFY(app.f.form4->lbl3->text().startsWith(
            QStringLiteral("正在保存第%1/%1个文件: ").arg(rows)));
        QVERIFY2(app.f.form4->lbl3->text().contains(QStringLiteral("总计: 100% ")),
                 qPrintable(app.f.form4->lbl3->text()));
        QVERIFY2(
            app.f.form4->lbl4->text().startsWith(QStringLiteral("已写入%1个文件，共").arg(rows)),
            qPrintable(app.f.form4->lbl4->text()));
        QVERIFY(app.f.form4->btn5->isVisible());
        app.f.form4->btn5->click();
        QCOMPARE(app.dialogs.opened_urls.back(), QUrl::fromLocalFile(folder).toString());

        // The copy keeps the read margin after the movie atom, so each saved
        // file must begin with one camera file, byte for byte.
        const auto placed = card.with_state("placed");
        const QStringList saved = QDir(folder).entryList({"VYR-*.mov"}, QDir::Files);
        QCOMPARE(saved.size(), rows);
        std::set<std::string> matched;
        for (const QString& name : saved) {
            QFile file(QDir(folder).filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            bool found = false;
            for (const auto& original : placed)
                if (bytes.size() >= original.length &&
                    fnv1a_hex(bytes.left(original.length)) == original.file_hash) {
                    found = matched.insert(original.name).second;
                    break;
                }
            QVERIFY2(found, qPrintable(name));
        }
        QVERIFY(app.f.form4->mmo1->toPlainText().contains(QStringLiteral("写入成功")));
        QVERIFY(!app.f.form4->mmo1->toPlainText().contains(QStringLiteral("写入失败")));
        // Every saved row lost its tick.
        const TableSet now = app.tables();
        for (const TableRow& row : now.results.rows()) QVERIFY(!row.checked);
    }
};

QTEST_MAIN(ScanFlowTest)
#include "scan_flow_test.moc"

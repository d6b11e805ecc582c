// Checkpoints in the wizard: a scan cut short (stopped, or its source
// pulled out) goes on through the offer on Next and ends with the tables of
// an uninterrupted scan; declined, or with a damaged file, the scan starts
// afresh; a finished scan leaves no checkpoint.

#include <QDir>
#include <QFile>

#include "app_fixture.hpp"
#include "checkpoint_offer.hpp"
#include "support/cards.hpp"
#include "support/faulty_device.hpp"

using namespace tav;
using namespace tav::app;
using namespace tav::app::test;

namespace {

constexpr int kScanTimeoutMs = 120'000;
enum Cut { kStopped, kPulledOut, kDamagedFile };

const tav::test::Card& raw_card() {
    const tav::test::Card& card = tav::test::GetCard("raw");
    if (!card.ok()) qFatal("card: %s", card.error.c_str());
    return card;
}

QString image() {
    return QString::fromStdString(raw_card().image.string());
}

// Step 1 deep scan, step 2 with the image loaded and chosen.
void choose_image(AppFixture& app) {
    app.f.form1->btn3Click();
    app.f.form10->btn1Click();
    app.dialogs.open_files.push_back(image());
    app.f.form5->btn2Click();
}

bool offered_since(const AppFixture& app, std::size_t first) {
    for (std::size_t k = first; k < app.dialogs.shown.size(); ++k) {
        const UserMessage& m = app.dialogs.shown[k].message;
        if (QString::fromStdString(m.text).contains(QStringLiteral("继续上次未完成的扫描")) &&
            m.caption == "提示" && m.buttons == MsgButtons::YesNo)
            return true;
    }
    return false;
}

}  // namespace

class ScanCheckpointOfferTest : public QObject {
    Q_OBJECT
    TableSet whole_;
    std::int64_t whole_reads_ = 0;

  private slots:
    void initTestCase() {
        SetUpApplication(*qApp);
        AppFixture app;
        tav::test::FaultyOpener medium;  // counts what the scan reads
        app.ctx.open_source = medium.opener();
        choose_image(app);
        app.f.form5->btn1Click();
        QTRY_VERIFY_WITH_TIMEOUT(!app.f.form3->scanning(), kScanTimeoutMs);
        QVERIFY(app.f.form2->isVisible());
        whole_ = app.tables();
        whole_reads_ = medium.medium->bytes_read;
        QVERIFY(whole_.results.row_count() >= 2);
        // The scan kept a checkpoint while it ran and removed it, and the
        // folder it made for it, at its end.
        QVERIFY(!QDir(QString::fromStdString(app.ctx.checkpoint_folder)).exists());
    }

    void a_cut_scan_goes_on_from_its_checkpoint_data() {
        QTest::addColumn<int>("cut");
        QTest::addColumn<bool>("accept");
        QTest::newRow("stopped, resumed") << int{kStopped} << true;
        QTest::newRow("stopped, declined") << int{kStopped} << false;
        QTest::newRow("pulled out, resumed") << int{kPulledOut} << true;
        QTest::newRow("damaged file") << int{kDamagedFile} << false;
    }

    void a_cut_scan_goes_on_from_its_checkpoint() {
        QFETCH(int, cut);
        QFETCH(bool, accept);
        const auto videos = raw_card().with_state("placed");
        QVERIFY(videos.size() >= 2);
        AppFixture app;
        choose_image(app);
        const QString file = QString::fromStdString(CheckpointPathOf(app.ctx));
        if (cut == kDamagedFile) {
            QVERIFY(QDir().mkpath(QFileInfo(file).path()));
            QFile torn(file);
            QVERIFY(torn.open(QIODevice::WriteOnly));
            torn.write("TAVORINE-MOV SCAN CHECKPOINT 1\nsource.path=");  // cut short
        } else {
            tav::test::FaultyOpener first;
            if (cut == kStopped) {
                // As the stop button pressed inside the first video.
                first.faults.stop_at = videos[0].head_offset + videos[0].head_length / 2;
                first.faults.stop = &app.ctx.StopRequested;
            } else {
                first.faults.vanish_at = videos[1].head_offset + videos[1].head_length / 2;
            }
            app.ctx.open_source = first.opener();
            app.f.form5->btn1Click();
            QTRY_VERIFY_WITH_TIMEOUT(!app.f.form3->scanning(), kScanTimeoutMs);
            QVERIFY(QFile::exists(file));
            QVERIFY(app.tables().fragments.row_count() < whole_.fragments.row_count());
            if (cut == kPulledOut) {
                // Told by the scan; no results, the source is picked again.
                QCOMPARE(app.last_caption(), QStringLiteral("源盘已断开"));
                QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form5});
                app.f.form5->btn4Click();
            } else {
                QVERIFY(app.f.form2->isVisible());
                app.dialogs.answers.push_back(MsgAnswer::Yes);
                app.f.form2->btn2Click();
            }
            choose_image(app);
        }

        tav::test::FaultyOpener again;
        app.ctx.open_source = again.opener();
        const std::size_t shown = app.dialogs.shown.size();
        app.dialogs.answers.push_back(accept ? MsgAnswer::Yes : MsgAnswer::No);
        app.f.form5->btn1Click();
        QCOMPARE(offered_since(app, shown), cut != kDamagedFile);
        QTRY_VERIFY_WITH_TIMEOUT(!app.f.form3->scanning(), kScanTimeoutMs);
        QVERIFY(app.f.form2->isVisible());
        const TableSet now = app.tables();
        QCOMPARE(now.fragments, whole_.fragments);
        QCOMPARE(now.outputs, whole_.outputs);
        QCOMPARE(now.results, whole_.results);
        QVERIFY(!QFile::exists(file));
        // Resumed, the card is not read again from its start.
        if (accept)
            QVERIFY(again.medium->bytes_read < whole_reads_);
        else
            QCOMPARE(again.medium->bytes_read, whole_reads_);
    }
};

QTEST_MAIN(ScanCheckpointOfferTest)
#include "scan_checkpoint_offer_test.moc"

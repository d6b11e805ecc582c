// The rebuild button of the results step and the expert view: a start
// region no header paired, rebuilt from the reference the user picks,
// listed as 重建 and saved with its new header; a file that is no reference
// changes nothing.

#include <QTemporaryDir>
#include <algorithm>
#include <fstream>

#include "cardgen/fnv_hash.hpp"
#include "lost_head_rows.hpp"

using namespace tav;
using namespace tav::app;
using namespace tav::app::test;

namespace {

std::string HeadHash(const std::filesystem::path& file, std::int64_t length) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
    in.read(reinterpret_cast<char*>(bytes.data()), length);
    return in ? cardgen::FnvHex(bytes) : std::string("short");
}

}  // namespace

class LostHeaderActionTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { SetUpApplication(*qApp); }

    void rebuilt_from_the_expert_view_and_saved() {
        const auto& card = tav::test::GetCard("lost-header");
        QVERIFY2(card.ok(), card.error.c_str());
        AppFixture app;
        const auto f = ListLostHeadToRebuild(app, card);
        QVERIFY(f);
        app.f.form6->btn1->click();
        QCOMPARE(app.last_caption(), QStringLiteral("重建文件头"));
        QCOMPARE(app.last_text(), QStringLiteral("已重建1个视频的文件头"));
        const TableSet t = app.tables();
        QCOMPARE(t.results.row_count(), std::size_t{1});
        QCOMPARE(t.results.cell(0, resc::Quality), std::string("重建"));
        QCOMPARE(t.outputs.cell(0, outc::Frames), dec(f->frames));
        QCOMPARE(app.f.form2->lv1->model()->rowCount(), 1);
        QCOMPARE(app.ctx.rebuilt.size(), std::size_t{1});

        // Again from the results step: nothing is left without a header.
        PickReference(app, card, *f);
        app.f.form2->btn8->click();
        QCOMPARE(app.last_text(), QStringLiteral("没有缺少文件头的视频"));
        QCOMPARE(app.tables().results.row_count(), std::size_t{1});

        QTemporaryDir out;
        app.edit_tables([](TableSet& t) { t.results.set_checked(0, true); });
        app.f.form4->edt1->setText(out.path() + "/");
        app.f.form4->btn1Click();
        app.f.form4->wait_save();
        std::string name = "VYR-0-" + dec(f->frames) + "-" + f->date + " " + f->time + ".mov";
        std::replace(name.begin() + 6, name.end(), ':', '-');
        const std::filesystem::path saved =
            out.filePath(QString::fromStdString(name)).toStdU16String();
        QVERIFY2(std::filesystem::exists(saved),
                 qPrintable(out.filePath(QString::fromStdString(name))));
        QCOMPARE(HeadHash(saved, f->head_length), f->head_hash);
        QCOMPARE(static_cast<std::uint64_t>(std::filesystem::file_size(saved)),
                 app.ctx.rebuilt.begin()->second.size());
    }

    void a_file_that_is_no_reference_changes_nothing() {
        const auto& card = tav::test::GetCard("lost-header");
        QVERIFY2(card.ok(), card.error.c_str());
        AppFixture app;
        QVERIFY(FillLostHead(app, card));
        app.dialogs.open_files.push_back(QString::fromStdString(card.image.string()));
        app.f.form2->btn8->click();
        QVERIFY(app.last_text().contains(QStringLiteral("参考文件")));
        QCOMPARE(app.tables().results.row_count(), std::size_t{0});
        QVERIFY(app.ctx.rebuilt.empty());
    }
};

QTEST_MAIN(LostHeaderActionTest)
#include "lost_header_action_test.moc"

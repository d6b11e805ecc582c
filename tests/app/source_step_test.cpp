// Step 2: loading image files, the tree-click rules and their messages, and
// Next without a selection.

#include <QFile>
#include <QTemporaryDir>

#include "app_fixture.hpp"

using namespace tav;
using namespace tav::app;
using namespace tav::app::test;

namespace {

QString make_file(const QTemporaryDir& dir, const QString& name, qint64 size) {
    QString path = dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.resize(size);
    return path;
}

// A whole-card image: an MBR whose one partition at 1 MiB holds a FAT32
// boot sector.
QString make_card_image(const QTemporaryDir& dir) {
    const QString path = make_file(dir, "card.img", 3 * 1024 * 1024);
    QByteArray mbr(512, 0), boot(512, 0);
    mbr[446 + 4] = 0x0C;
    mbr[446 + 9] = 0x08;    // first LBA 2048
    mbr[446 + 13] = 0x10;   // 4096 sectors
    boot[0x0B + 1] = 0x02;  // 512 bytes per sector
    boot[0x0D] = 8;
    boot[0x0E] = 32;
    boot[0x10] = 2;
    boot[0x20 + 1] = 0x10;  // 4096 sectors
    boot[0x24] = 8;
    boot.replace(0x52, 5, "FAT32");
    for (QByteArray* sector : {&mbr, &boot}) {
        (*sector)[510] = 0x55;
        (*sector)[511] = static_cast<char>(0xAA);
    }
    QFile file(path);
    if (file.open(QIODevice::ReadWrite)) {
        file.write(mbr);
        file.seek(1024 * 1024);
        file.write(boot);
    }
    return path;
}

QTreeWidgetItem* find_node(QTreeWidget* tree, const QString& text) {
    const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.front();
}

void enter_step2(AppFixture& app) {
    app.f.form1->btn1Click();
    app.f.form10->btn1Click();
}

}  // namespace

class SourceStepTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { SetUpApplication(*qApp); }

    void cancelled_load_without_an_earlier_file_is_reported() {
        AppFixture app;
        enter_step2(app);
        app.f.form5->btn2Click();
        QCOMPARE(app.dialogs.shown.size(), std::size_t{1});
        const ShownMessage& shown = app.dialogs.shown.back();
        QCOMPARE(shown.message, (UserMessage{"出错了", "抱歉，请选中要加载的镜像文件!",
                                             MsgIcon::Warning, MsgButtons::Ok}));
        QCOMPARE(shown.owner, static_cast<QWidget*>(app.f.form5));
        QVERIFY(find_node(app.f.form5->tv1, QStringLiteral("镜像文件")) == nullptr);
    }

    void raw_image_is_measured_by_its_size() {
        QTemporaryDir dir;
        const QString image = make_file(dir, "card.img", 3 * 1024 * 1024 + 100);
        AppFixture app;
        enter_step2(app);
        app.dialogs.open_files.push_back(image);
        app.f.form5->btn2Click();
        QVERIFY(app.dialogs.shown.empty());
        QTreeWidgetItem* node = find_node(app.f.form5->tv1, image);
        QVERIFY(node);
        QCOMPARE(node->parent()->text(0), QStringLiteral("镜像文件"));
        QCOMPARE(app.f.form5->tv1->currentItem(), node);
        const SourceSelection& sel = app.ctx.selection;
        QVERIFY(sel.SourceIsImage);
        QCOMPARE(QString::fromStdString(sel.SourceText), image);
        QCOMPARE(QString::fromStdString(sel.Source.path), image);
        QCOMPARE(sel.DiskInfo, sel.Source.info);
        QCOMPARE(sel.DiskInfo.FileSystem, std::string("Raw"));
        QCOMPARE(sel.DiskInfo.EndSector, std::int64_t{(3 * 1024 * 1024 + 100) / 512});
        QCOMPARE(sel.DiskInfo.BytesPerSector, std::uint16_t{512});
    }

    void unreadable_image_names_the_reason_and_leaves_nothing_chosen() {
        QTemporaryDir dir;
        AppFixture app;
        enter_step2(app);
        app.dialogs.open_files = {make_file(dir, "a.img", 1024 * 1024),
                                  dir.filePath("missing.img")};
        app.f.form5->btn2Click();
        app.f.form5->btn2Click();
        QCOMPARE(app.last_caption(), QStringLiteral("出错了"));
        const QString base = QStringLiteral("抱歉，获取镜像文件起始和结束扇区出错!\n");
        // A second line says why the file could not be opened.
        QVERIFY(app.last_text().startsWith(base));
        QVERIFY(app.last_text().size() > base.size());
        QVERIFY(!app.ctx.selection.SourceIsImage);
        // Next must not scan the missing file with the range of the one before.
        QVERIFY(app.ctx.selection.SourceText.empty());
    }

    void second_load_and_cancelled_load_add_groups() {
        QTemporaryDir dir;
        const QString first = make_file(dir, "a.img", 1024 * 1024);
        const QString second = make_file(dir, "b.img", 2 * 1024 * 1024);
        AppFixture app;
        enter_step2(app);
        // The machine's own drives, where it lists any, come first.
        const int drives = app.f.form5->tv1->topLevelItemCount();
        app.dialogs.open_files = {first, second};
        app.f.form5->btn2Click();
        app.f.form5->btn2Click();
        QCOMPARE(app.f.form5->tv1->topLevelItemCount(), drives + 2);
        QCOMPARE(QString::fromStdString(app.ctx.selection.SourceText), second);
        // The dialog keeps its last file: cancelling loads it again.
        app.f.form5->btn2Click();
        QCOMPARE(app.f.form5->tv1->topLevelItemCount(), drives + 3);
        QVERIFY(app.dialogs.shown.empty());
        QCOMPARE(app.ctx.selection.DiskInfo.EndSector, std::int64_t{2 * 1024 * 1024 / 512});
    }

    void clicking_a_root_warns_and_keeps_the_source() {
        QTemporaryDir dir;
        const QString image = make_file(dir, "a.img", 1024 * 1024);
        AppFixture app;
        enter_step2(app);
        app.dialogs.open_files.push_back(image);
        app.f.form5->btn2Click();
        app.f.form5->tv1->setCurrentItem(find_node(app.f.form5->tv1, QStringLiteral("镜像文件")));
        app.f.form5->tv1Click();
        QCOMPARE(app.dialogs.shown.back().message,
                 (UserMessage{"", "抱歉，请选中要扫描的源盘!", MsgIcon::Warning, MsgButtons::Ok}));
        QCOMPARE(QString::fromStdString(app.ctx.selection.SourceText), image);
        QVERIFY(!app.ctx.selection.SourceIsImage);
    }

    void clicking_an_image_node_takes_that_image_as_a_drive() {
        QTemporaryDir dir;
        const QString first = make_file(dir, "a.img", 1024 * 1024);
        const QString second = make_file(dir, "b.img", 2 * 1024 * 1024);
        AppFixture app;
        enter_step2(app);
        app.dialogs.open_files = {first, second};
        app.f.form5->btn2Click();
        app.f.form5->btn2Click();
        app.f.form5->tv1->setCurrentItem(find_node(app.f.form5->tv1, first));
        app.f.form5->tv1Click();
        const SourceSelection& sel = app.ctx.selection;
        QVERIFY(!sel.SourceIsImage);
        QCOMPARE(QString::fromStdString(sel.SourceText), first);
        QCOMPARE(QString::fromStdString(sel.SourceLabel), first);
        QCOMPARE(QString::fromStdString(sel.Source.path), first);
        QCOMPARE(sel.DiskInfo.EndSector, std::int64_t{1024 * 1024 / 512});
        QVERIFY(app.dialogs.shown.empty());
    }

    void partitions_of_a_whole_card_image_are_offered_as_volumes() {
        QTemporaryDir dir;
        const QString image = make_card_image(dir);
        AppFixture app;
        enter_step2(app);
        app.dialogs.open_files.push_back(image);
        app.f.form5->btn2Click();
        QTreeWidgetItem* node =
            find_node(app.f.form5->tv1, QStringLiteral("分区1: FAT32 (2.00 MB)"));
        QVERIFY(node);
        app.f.form5->tv1->setCurrentItem(node);
        app.f.form5->tv1Click();
        QVERIFY(app.dialogs.shown.empty());
        const SourceSelection& sel = app.ctx.selection;
        QCOMPARE(sel.DiskInfo.FileSystem, std::string("FAT32"));
        QCOMPARE(sel.DiskInfo.VolumeOffset, std::int64_t{1024 * 1024});
        QCOMPARE(sel.Source.partition, 1);
    }

    void refresh_drops_the_image_node_but_keeps_the_source() {
        QTemporaryDir dir;
        const QString image = make_file(dir, "a.img", 1024 * 1024);
        AppFixture app;
        enter_step2(app);
        app.dialogs.open_files.push_back(image);
        app.f.form5->btn2Click();
        app.f.form5->btn3Click();
        QVERIFY(find_node(app.f.form5->tv1, image) == nullptr);
        QCOMPARE(QString::fromStdString(app.ctx.selection.SourceText), image);
    }

    void clicking_nothing_clears_the_source() {
        QTemporaryDir dir;
        AppFixture app;
        enter_step2(app);
        app.dialogs.open_files.push_back(make_file(dir, "a.img", 1024 * 1024));
        app.f.form5->btn2Click();
        app.f.form5->tv1->setCurrentItem(nullptr);
        app.f.form5->tv1Click();
        QVERIFY(app.ctx.selection.SourceText.empty());
    }

    void next_without_a_source_stays_on_step2() {
        AppFixture app;
        enter_step2(app);
        app.f.form5->btn1Click();
        const ShownMessage& shown = app.dialogs.shown.back();
        QCOMPARE(shown.message, (UserMessage{"提示", "请选择要扫描的盘符或者镜像文件！",
                                             MsgIcon::Question, MsgButtons::Ok}));
        QCOMPARE(shown.owner, static_cast<QWidget*>(app.f.form5));
        QCOMPARE(visible_forms(app.f), std::vector<QWidget*>{app.f.form5});
    }
};

QTEST_MAIN(SourceStepTest)
#include "source_step_test.moc"

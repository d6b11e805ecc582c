#include "form4.hpp"

#include <QCloseEvent>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QUrl>
#include <QVBoxLayout>

#include "form1.hpp"
#include "form2.hpp"
#include "play_check.hpp"
#include "recovery/rebuild_worker.hpp"
#include "table_refresher.hpp"

namespace tav::app {

namespace {
const char kEmptyFolder[] = "保存路径为空，请设置好保存的路径。";
}

TForm4::TForm4(AppContext& context, QWidget* parent)
    : WizardWindow(context, QStringLiteral("就绪"), QStringLiteral("您所在位置第5步---保存"),
                   parent) {
    setObjectName("TForm4");
    add_forum_link(true);

    auto* folder = new QGroupBox(QStringLiteral("选择保存路径"));
    auto* folder_row = new QHBoxLayout(folder);
    edt1 = new QLineEdit(folder);  // typed, pasted or browsed
    btn2 = new QPushButton(QStringLiteral("浏览"), folder);
    folder_row->addWidget(edt1, 1);
    folder_row->addWidget(btn2);
    content()->addWidget(folder);

    auto* progress = new QGroupBox(QStringLiteral("保存进度"));
    auto* progress_layout = new QVBoxLayout(progress);
    g1 = new GaugeBar(progress);
    progress_layout->addWidget(g1);
    lbl3 = new QLabel(progress);
    progress_layout->addWidget(lbl3);
    content()->addWidget(progress);

    auto* log = new QGroupBox(QStringLiteral("日志"));
    auto* log_layout = new QVBoxLayout(log);
    mmo1 = new QPlainTextEdit(log);
    mmo1->setReadOnly(true);
    mmo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log_layout->addWidget(mmo1);
    content()->addWidget(log, 1);

    auto* summary = new QHBoxLayout;
    lbl4 = new QLabel(centralWidget());
    lbl4->setWordWrap(true);
    btn5 = new QPushButton(QStringLiteral("打开文件夹"), centralWidget());
    btn5->hide();
    summary->addWidget(lbl4, 1);
    summary->addWidget(btn5);
    content()->addLayout(summary);
    connect(btn5, &QPushButton::clicked, this,
            [this] { ctx_.dialogs.open_url(QUrl::fromLocalFile(edt1->text()).toString()); });

    auto* buttons = new QHBoxLayout;
    btn4 = picture_button(":/pictures/home.png", QStringLiteral("返回主窗体"), centralWidget());
    btn3 = picture_button(":/pictures/back.png", QStringLiteral("上一步"), centralWidget());
    btn1 = new QPushButton(QStringLiteral("保存"), centralWidget());
    buttons->addStretch(1);
    buttons->addWidget(btn4);
    buttons->addWidget(btn3);
    buttons->addWidget(btn1);
    content()->addLayout(buttons);

    connect(btn1, &QPushButton::clicked, this, [this] { btn1Click(); });
    set_keys(btn1);
    connect(btn2, &QPushButton::clicked, this, [this] { btn2Click(); });
    connect(btn3, &QToolButton::clicked, this, [this] { btn3Click(); });
    connect(btn4, &QToolButton::clicked, this, [this] { btn4Click(); });
    resize(760, 560);
}

void TForm4::prepare() {
    edt1->clear();
    mmo1->clear();
    g1->set_range64(0, 0);
    g1->set_position64(0);
    lbl3->clear();
    lbl4->clear();
    btn5->hide();
}

void TForm4::btn2Click() {
    SaveInProgress = false;
    QString path = ctx_.dialogs.browse_folder(this);
    if (path.isEmpty()) {
        ctx_.ask(this, "提示", kEmptyFolder, MsgIcon::Question);
        return;
    }
    path = QDir::toNativeSeparators(path);
    if (!path.endsWith(QDir::separator())) path += QDir::separator();
    edt1->setText(path);
}

void TForm4::btn1Click() {
    if (edt1->text().isEmpty()) {
        ctx_.ask(this, "提示", kEmptyFolder, MsgIcon::Question);
        return;
    }
    // One save at a time: two runs would write the same files and race on
    // the ticks.
    if (job_.running()) return;
    const QString folder = edt1->text().trimmed();
    if (!QDir().mkpath(folder)) {
        ctx_.ask(this, "提示", "无法创建保存路径: " + folder.toStdString(), MsgIcon::Warning);
        return;
    }
    RebuildParams params;
    params.source_path = ctx_.tables.with([](const TableSet& t) { return t.source_field; });
    params.output_folder = folder.toStdString();
    params.rebuilt = &ctx_.rebuilt;
    auto reporter = std::make_unique<QtReporter>(this, *this, ctx_.dialogs);
    auto worker =
        std::make_unique<TPstRebuild>(std::move(params), ctx_.tables, *reporter, SaveInProgress);
    // Alive until the next save: the job keeps it.
    const TPstRebuild* save = worker.get();
    btn1->setEnabled(false);
    lbl4->clear();
    btn5->hide();
    meter_ = ProgressMeter();
    clock_.start();
    job_.run(std::move(reporter), std::move(worker), this, [this, save] {
        btn1->setEnabled(true);
        ctx_.refresher->refresh_all();
        show_summary(save->summary());
    });
}

void TForm4::set_save_progress(const SaveProgress& p) {
    meter_.set_total(p.all_total);
    meter_.sample(static_cast<double>(clock_.elapsed()) / 1000.0, p.all_done);
    const auto size = [](std::int64_t bytes) {
        return QString::fromStdString(ByteSizeText(bytes));
    };
    QString text = QStringLiteral("正在保存第%1/%2个文件: %3 / %4    总计: %5% %6 / %7")
                       .arg(p.file_number)
                       .arg(p.file_count)
                       .arg(size(p.file_done), size(p.file_total))
                       .arg(meter_.percent())
                       .arg(size(p.all_done), size(p.all_total));
    if (const auto rate = meter_.bytes_per_second())
        text += QStringLiteral("    速度: %1/s").arg(size(static_cast<std::int64_t>(*rate)));
    if (const auto left = meter_.seconds_left())
        text += QStringLiteral("    剩余时间: %1").arg(QString::fromStdString(DurationText(*left)));
    lbl3->setText(text);
}

void TForm4::show_summary(const RebuildSummary& summary) {
    int written = 0, failed = 0;
    std::int64_t bytes = 0, unreadable = 0;
    for (const SavedFile& f : summary.files) {
        if (!f.written) {
            ++failed;
            continue;
        }
        ++written;
        bytes += f.bytes;
        unreadable += f.unreadable_bytes;
    }
    if (summary.files.empty()) return;
    lbl4->setText(QStringLiteral("已写入%1个文件，共%2，失败%3个，无法从源盘读取%4")
                      .arg(written)
                      .arg(QString::fromStdString(ByteSizeText(bytes)))
                      .arg(failed)
                      .arg(QString::fromStdString(ByteSizeText(unreadable))));
    btn5->setVisible(written > 0);
}

void TForm4::info(const std::string& text) {
    ctx_.ask(nullptr, "提示", text, MsgIcon::Information);
}

void TForm4::btn3Click() {
    if (SaveInProgress) {
        info("正在保存PST文件，请您在保存完毕后再返回上一步！");
        return;
    }
    hide();
    ctx_.forms.form2->show();
}

void TForm4::btn4Click() {
    if (SaveInProgress) {
        info("正在保存文件，请您在保存完毕后再返回主窗口！");
        return;
    }
    ctx_.play_check->stop();
    hide();
    ctx_.forms.form2->hide();
    ctx_.forms.form1->show();
}

void TForm4::tables_changed(TableId table) {
    ctx_.refresher->changed(table);
}

void TForm4::closeEvent(QCloseEvent* event) {
    event->accept();
    ctx_.forms.form2->show();
}

}  // namespace tav::app

#include "form2.hpp"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>
#include <ctime>

#include "common/log_line.hpp"
#include "form1.hpp"
#include "form3.hpp"
#include "form4.hpp"
#include "form6.hpp"
#include "list_view.hpp"
#include "lost_header_action.hpp"
#include "play_check.hpp"
#include "recovery/result_list_ops.hpp"
#include "recovery/scan_result_file.hpp"
#include "table_refresher.hpp"

namespace tav::app {

TForm2::TForm2(AppContext& context, QWidget* parent)
    : WizardWindow(context, QStringLiteral("就绪"), QStringLiteral("您所在位置第4步---选择MOV文件"),
                   parent) {
    setObjectName("TForm2");
    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);
    auto* header = new QHBoxLayout;
    auto* lbl1 = new QLabel(QStringLiteral("扫描结果"), centralWidget());
    QFont bold = lbl1->font();
    bold.setBold(true);
    lbl1->setFont(bold);
    header->addWidget(lbl1);
    header->addStretch(1);
    header->addWidget(make_forum_link(
        QStringLiteral("访问论坛"), [this] { lbl5Click(); }, centralWidget()));
    content()->addLayout(header);

    auto* lbl6 = new QLabel(QStringLiteral("请勾选您要恢复的MOV高清视频文件，点击“下一步”"),
                            centralWidget());
    lbl6->setStyleSheet("color: #1a5fd0;");
    content()->addWidget(lbl6);

    lv1 = make_list_view(ctx_.refresher->model(TableId::Results), false, false, centralWidget());
    connect(lv1->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { lv1ColumnClick(column); });
    preview = new PreviewPanel(centralWidget());
    auto* list_row = new QHBoxLayout;
    list_row->addWidget(lv1, 1);
    list_row->addWidget(preview);
    content()->addLayout(list_row, 1);
    content()->addLayout(make_check_row());
    connect(lv1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { preview_selected(); });
    // A refresh (sorting, ticking all) may put another video in the row.
    connect(lv1->model(), &QAbstractItemModel::modelReset, this,
            [this] { preview->show_file(std::nullopt); });
    content()->addWidget(make_button_bar());
    resize(900, 600);
}

QWidget* TForm2::make_button_bar() {
    auto* bar = new QWidget(centralWidget());
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    btn3 = new QPushButton(QStringLiteral("全选"), bar);
    btn4 = new QPushButton(QStringLiteral("反选"), bar);
    btn7 = new QPushButton(QStringLiteral("加载扫描结果"), bar);
    btn6 = new QPushButton(QStringLiteral("保存扫描结果"), bar);
    btn8 = new QPushButton(QString::fromUtf8(kRebuildButtonText), bar);
    btn2 = picture_button(":/pictures/back.png", QStringLiteral("上一步"), bar);
    btn1 = new QPushButton(QStringLiteral("下一步"), bar);
    for (QWidget* w : std::initializer_list<QWidget*>{btn3, btn4, btn7, btn6, btn8})
        row->addWidget(w);
    row->addStretch(1);
    row->addWidget(btn2);
    row->addWidget(btn1);
    connect(btn1, &QPushButton::clicked, this, [this] { btn1Click(); });
    set_keys(btn1);
    connect(btn2, &QToolButton::clicked, this, [this] { btn2Click(); });
    connect(btn3, &QPushButton::clicked, this, [this] { btn3Click(); });
    connect(btn4, &QPushButton::clicked, this, [this] { btn4Click(); });
    connect(btn6, &QPushButton::clicked, this, [this] { btn6Click(); });
    connect(btn7, &QPushButton::clicked, this, [this] { btn7Click(); });
    connect(btn8, &QPushButton::clicked, this, [this] { RebuildLostHeadersAction(ctx_, this); });
    return bar;
}

QLayout* TForm2::make_check_row() {
    auto* row = new QHBoxLayout;
    lbl7 = new QLabel(centralWidget());
    btn9 = new QPushButton(centralWidget());
    row->addWidget(lbl7, 1);
    row->addWidget(btn9);
    connect(btn9, &QPushButton::clicked, this, [this] {
        if (ctx_.play_check->active())
            ctx_.play_check->stop();
        else
            ctx_.play_check->start();
    });
    connect(ctx_.play_check, &PlayCheck::status_changed, this, [this] { show_check_state(); });
    show_check_state();
    return row;
}

void TForm2::show_check_state() {
    const PlayCheck& check = *ctx_.play_check;
    lbl7->setText(check.status());
    btn9->setText(check.active() ? QStringLiteral("停止检查") : QStringLiteral("继续检查"));
    btn9->setEnabled(check.busy() || !check.active());
}

void TForm2::show_results() {
    ctx_.refresher->refresh_all();
    showMaximized();
    // Behind the list: the worker reads it once the list is up.
    ctx_.play_check->start();
}

void TForm2::btn1Click() {
    const std::size_t ticked =
        ctx_.tables.with([](const TableSet& t) { return CountTicked(t.results); });
    if (ticked == 0) {
        ctx_.ask(this, "提示",
                 "请选中您要恢复的文件,您可以通过文件容量来找到想要恢复的文件，"
                 "如果无法确认容量建议您全选。",
                 MsgIcon::Question);
        return;
    }
    ctx_.forms.form4->prepare();
    hide();
    ctx_.forms.form1->hide();
    ctx_.forms.form4->show();
}

void TForm2::btn2Click() {
    const MsgAnswer answer = ctx_.ask(this, "提示", "此操作将造成当前扫描结果丢失，是否继续？",
                                      MsgIcon::Question, MsgButtons::YesNo);
    if (answer != MsgAnswer::Yes) return;
    ctx_.play_check->stop();
    hide();
    ctx_.forms.form1->show();
}

void TForm2::btn3Click() {
    ctx_.tables.with([](TableSet& t) { TickAll(t.results); });
    ctx_.refresher->refresh_all();
}

void TForm2::btn4Click() {
    ctx_.tables.with([](TableSet& t) { InvertTicks(t.results); });
    ctx_.refresher->refresh_all();
}

void TForm2::preview_selected() {
    preview->show_file(PlanForSelection(*lv1->selectionModel(), ctx_.tables, &TableSet::results,
                                        kResultColumns, &ctx_.rebuilt));
    const QModelIndexList rows = lv1->selectionModel()->selectedRows();
    if (!rows.isEmpty())
        ctx_.play_check->prefer(
            lv1->model()->index(rows.front().row(), resc::Number).data().toString().toStdString());
}

void TForm2::lv1ColumnClick(int column) {
    // The table's own columns only: "可播放" is not kept in it.
    if (column < 0 || column >= static_cast<int>(resc::Count)) return;
    ctx_.tables.with(
        [column](TableSet& t) { SortResultList(t.results, static_cast<std::size_t>(column)); });
    ctx_.refresher->refresh_all();
}

// The tables have one user at a time: a scan still finishing or a
// scan-result file being read or written must end first.
bool TForm2::busy_with_tables() {
    if (file_job_.running()) return true;
    ctx_.forms.form3->stop_and_wait();
    return false;
}

void TForm2::btn6Click() {
    if (busy_with_tables()) return;
    const QString proposed = QString::fromStdString(DefaultScanResultName(local_time_now()));
    const QString name = ctx_.dialogs.save_file(this, proposed);
    if (name.isEmpty()) {
        ctx_.dialogs.message_box(nullptr, EmptySavePathMessage());
        return;
    }
    start_file_job(TFileOrLv::kSave, name);
}

void TForm2::btn7Click() {
    if (busy_with_tables()) return;
    const QString name = ctx_.dialogs.open_file(this);
    // The tables are emptied only once a file was chosen: cancelling the
    // dialog must not throw away the results on screen.
    if (name.isEmpty()) {
        ctx_.dialogs.message_box(nullptr, EmptyLoadPathMessage());
        return;
    }
    ctx_.tables.with([](TableSet& t) { t.clear_tables(); });
    ctx_.scan_grid.reset();
    ctx_.refresher->refresh_all();
    start_file_job(TFileOrLv::kLoad, name);
}

void TForm2::start_file_job(int mode, const QString& file_name) {
    auto reporter = std::make_unique<QtReporter>(this, *this, ctx_.dialogs);
    auto worker =
        std::make_unique<TFileOrLv>(mode, file_name.toStdString(), ctx_.tables, *reporter);
    file_job_.run(std::move(reporter), std::move(worker), this, [this] {
        ctx_.refresher->refresh_all();
        ctx_.forms.form6->reload_source_field();
    });
}

void TForm2::lbl5Click() {
    ctx_.open_forum();
}

void TForm2::tables_changed(TableId table) {
    ctx_.refresher->changed(table);
}

void TForm2::closeEvent(QCloseEvent* event) {
    event->accept();
    ctx_.play_check->stop();
    ctx_.forms.form1->show();
}

}  // namespace tav::app

#include "form6.hpp"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "list_view.hpp"
#include "lost_header_action.hpp"
#include "play_check.hpp"
#include "table_refresher.hpp"

namespace tav::app {

TForm6::TForm6(AppContext& context, QWidget* parent) : QWidget(parent), ctx_(context) {
    setObjectName("TForm6");
    setWindowTitle(QString());
    auto* layout = new QVBoxLayout(this);

    auto* grp1 = new QGroupBox(this);
    auto* grp1_layout = new QVBoxLayout(grp1);
    lv1 = make_list_view(ctx_.refresher->model(TableId::Fragments), true, true, grp1);
    lv1->setContextMenuPolicy(Qt::CustomContextMenu);
    grp1_layout->addWidget(lv1);
    layout->addWidget(grp1, 3);

    lv2 = make_list_view(ctx_.refresher->model(TableId::Outputs), true, false, this);
    preview = new PreviewPanel(this);
    auto* outputs_row = new QHBoxLayout;
    outputs_row->addWidget(lv2, 1);
    outputs_row->addWidget(preview);
    layout->addLayout(outputs_row, 2);
    connect(lv2->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { preview_selected(); });
    connect(lv2->model(), &QAbstractItemModel::modelReset, this,
            [this] { preview->show_file(std::nullopt); });
    layout->addLayout(make_fields());
    build_menu();
    connect(lv1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pm1->popup(lv1->viewport()->mapToGlobal(at)); });
    resize(1100, 680);
}

QLayout* TForm6::make_fields() {
    auto* row = new QHBoxLayout;
    auto add = [&](const QString& label, bool editable) {
        auto* form = new QFormLayout;
        auto* edit = new QLineEdit(this);
        edit->setReadOnly(!editable);
        form->addRow(label, edit);
        row->addLayout(form, editable ? 3 : 2);
        return edit;
    };
    lbledt1 = add(QStringLiteral("起始偏移"), false);
    lbledt2 = add(QStringLiteral("结束偏移"), false);
    lbledt3 = add(QStringLiteral("文件长度"), false);
    lbledt4 = add(QStringLiteral("Source:"), true);
    lbledt5 = add(QStringLiteral("文件类型"), false);
    btn1 = new QPushButton(QString::fromUtf8(kRebuildButtonText), this);
    row->addWidget(btn1);
    connect(btn1, &QPushButton::clicked, this, [this] { RebuildLostHeadersAction(ctx_, this); });
    connect(lbledt4, &QLineEdit::textEdited, this, [this](const QString& text) {
        ctx_.tables.with([&](TableSet& t) { t.source_field = text.toStdString(); });
    });
    return row;
}

void TForm6::build_menu() {
    pm1 = new QMenu(this);
    auto add = [&](const QString& caption, std::function<void()> action) {
        QAction* a = pm1->addAction(caption);
        connect(a, &QAction::triggered, this, std::move(action));
        return a;
    };
    N1 = add(QStringLiteral("复制【碎片起始偏移】"), [this] { copy_item(CopyItem::StartOffset); });
    N2 = add(QStringLiteral("复制【碎片结束偏移】"), [this] { copy_item(CopyItem::EndOffset); });
    N3 = add(QStringLiteral("复制【碎片长度】"), [this] { copy_item(CopyItem::LengthSectors); });
    N4 = add(QStringLiteral("复制【STSZ-OFF】"), [this] { copy_item(CopyItem::StszOff); });
    STCOOFF1 = add(QStringLiteral("复制【STCO-OFF】"), [this] { copy_item(CopyItem::StcoOff); });
    N7 = add(QStringLiteral("选定【非常好之外的碎片】"), [this] { N7Click(); });
    N6 = add(QStringLiteral("选定【非常好、好之外的碎片】"), [this] { N6Click(); });
    mdat1 = add(QStringLiteral("修改【mdat碎片结束偏移、长度】"), [this] { mdat1Click(); });
    N5 = add(QStringLiteral("添加【选定碎片到输出列表】"), [this] { N5Click(); });
}

void TForm6::reload_source_field() {
    const auto [source, type] =
        ctx_.tables.with([](const TableSet& t) { return std::pair(t.source_field, t.file_type); });
    lbledt4->setText(QString::fromStdString(source));
    lbledt5->setText(QString::fromStdString(type));
    lbledt5->setCursorPosition(0);  // the start of a long name says most
    lbledt5->setToolTip(lbledt5->text());
}

std::optional<std::size_t> TForm6::selected_row() const {
    const QModelIndexList rows = lv1->selectionModel()->selectedRows();
    if (rows.isEmpty()) return std::nullopt;
    int first = rows.front().row();
    for (const QModelIndex& index : rows) first = std::min(first, index.row());
    return static_cast<std::size_t>(first);
}

void TForm6::preview_selected() {
    preview->show_file(PlanForSelection(*lv2->selectionModel(), ctx_.tables, &TableSet::outputs,
                                        kOutputColumns, &ctx_.rebuilt));
    const QModelIndexList rows = lv2->selectionModel()->selectedRows();
    if (!rows.isEmpty())
        ctx_.play_check->prefer(
            lv2->model()->index(rows.front().row(), outc::Number).data().toString().toStdString());
}

void TForm6::copy_item(CopyItem item) {
    ExpertFields fields{lbledt1->text().toStdString(), lbledt2->text().toStdString(),
                        lbledt3->text().toStdString()};
    const auto row = selected_row();
    ctx_.tables.with([&](const TableSet& t) { CopyCellToField(t.fragments, row, item, fields); });
    lbledt1->setText(QString::fromStdString(fields.start_offset));
    lbledt2->setText(QString::fromStdString(fields.end_offset));
    lbledt3->setText(QString::fromStdString(fields.file_length));
}

void TForm6::after_change(const ExpertOutcome& outcome) {
    ctx_.refresher->refresh_all();
    if (outcome) ctx_.dialogs.message_box(nullptr, *outcome);
}

void TForm6::N7Click() {
    after_change(ctx_.tables.with(
        [](TableSet& t) { return TickByQuality(t.fragments, KeepGrades::VeryGood); }));
}

void TForm6::N6Click() {
    after_change(ctx_.tables.with(
        [](TableSet& t) { return TickByQuality(t.fragments, KeepGrades::VeryGoodAndGood); }));
}

void TForm6::mdat1Click() {
    after_change(ctx_.tables.with([](TableSet& t) { return CorrectHeadEnd(t.fragments); }));
}

void TForm6::N5Click() {
    after_change(ctx_.tables.with([](TableSet& t) { return AddTickedFragments(t); }));
}

}  // namespace tav::app

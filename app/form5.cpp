#include "form5.hpp"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "form1.hpp"
#include "form10.hpp"
#include "form8.hpp"
#include "platform/source_list.hpp"
#include "scan_start_action.hpp"
#include "sources/measured_source.hpp"
#include "sources/partition_list.hpp"
#include "sources/volume_probe.hpp"

namespace tav::app {

namespace {

const char kMeasureFailed[] = "抱歉，获取镜像文件起始和结束扇区出错!";

QIcon tree_icon(bool image) {
    return QIcon(image ? ":/pictures/image.png" : ":/pictures/drive.png");
}

// The message text after a failed measure, with the system's reason when the
// source could not even be opened (on Linux usually missing root rights).
std::string measure_failure_text(const MeasureError& error) {
    std::string text = kMeasureFailed;
    if (error.kind == MeasureError::OpenFailed && !error.reason.empty())
        text += "\n" + error.reason;
    return text;
}

}  // namespace

TForm5::TForm5(AppContext& context, QWidget* parent)
    : WizardWindow(context, QStringLiteral("选择盘符"),
                   QStringLiteral("您所在位置第2步---选择盘符"), parent) {
    setObjectName("TForm5");
    lbl2 = add_forum_link(true);
    content()->addWidget(new QLabel(QStringLiteral("选择要扫描的盘符")));
    tv1 = new QTreeWidget(centralWidget());
    tv1->setHeaderHidden(true);
    tv1->setIconSize(QSize(32, 32));
    tv1->setIndentation(35);
    tv1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    content()->addWidget(tv1, 1);
    connect(tv1, &QTreeWidget::itemClicked, this, [this] { tv1Click(); });

    auto* buttons = new QHBoxLayout;
    btn2 = new QPushButton(QStringLiteral("加载镜像文件"), centralWidget());
    btn3 = new QPushButton(QStringLiteral("刷新盘符"), centralWidget());
    btn4 = picture_button(":/pictures/back.png", QStringLiteral("上一步"), centralWidget());
    btn1 = new QPushButton(QStringLiteral("下一步"), centralWidget());
    for (QPushButton* b : {btn2, btn3, btn1}) b->setFlat(false);
    buttons->addWidget(btn2);
    buttons->addWidget(btn3);
    buttons->addStretch(1);
    buttons->addWidget(btn4);
    buttons->addWidget(btn1);
    content()->addLayout(buttons);

    connect(btn1, &QPushButton::clicked, this, [this] { btn1Click(); });
    set_keys(btn1);
    connect(btn2, &QPushButton::clicked, this, [this] { btn2Click(); });
    connect(btn3, &QPushButton::clicked, this, [this] { btn3Click(); });
    connect(btn4, &QToolButton::clicked, this, [this] { btn4Click(); });
    resize(760, 560);
}

void TForm5::enter() {
    show();
    tv1->clear();
    fill_tree();
}

void TForm5::add_root(const QString& title, const std::vector<QTreeWidgetItem*>& children) {
    if (children.empty()) return;
    auto* root = new QTreeWidgetItem(QStringList{title});
    root->setIcon(0, tree_icon(title == QStringLiteral("镜像文件")));
    root->setData(0, kKindRole, kRoot);
    for (QTreeWidgetItem* child : children) root->addChild(child);
    tv1->addTopLevelItem(root);
    tv1->expandAll();
}

void TForm5::fill_tree() {
    std::vector<QTreeWidgetItem*> children;
    if (ctx_.settings.ScanMode == kModeDeep) {
        for (const DiskEntry& disk : ListDisks()) {
            auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(disk.text)});
            item->setIcon(0, tree_icon(false));
            item->setData(0, kKindRole, kDisk);
            item->setData(0, kDeviceRole, QString::fromStdString(disk.device));
            item->setData(0, kSourceTextRole, QString::number(disk.number));
            children.push_back(item);
        }
        add_root(QStringLiteral("物理硬盘列表"), children);
        return;
    }
    for (const VolumeEntry& volume : ListVolumes(FileSystemProbe())) {
        auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(volume.text)});
        item->setIcon(0, tree_icon(false));
        item->setData(0, kKindRole, kVolume);
        item->setData(0, kDeviceRole, QString::fromStdString(volume.device));
        item->setData(0, kSourceTextRole, QString::fromStdString(volume.device));
        children.push_back(item);
    }
    add_root(QStringLiteral("逻辑盘符列表"), children);
}

void TForm5::warn(const std::string& caption, const std::string& text) {
    ctx_.ask(this, caption, text, MsgIcon::Warning);
}

void TForm5::btn3Click() {
    tv1->clear();
    fill_tree();
}

void TForm5::btn2Click() {
    ctx_.selection.SourceIsImage = false;
    QString path = ctx_.dialogs.open_image(this);
    // Like the platform's open dialog, a cancelled dialog keeps the last file.
    if (path.isEmpty()) path = last_image_;
    if (path.isEmpty()) {
        warn("出错了", "抱歉，请选中要加载的镜像文件!");
        return;
    }
    last_image_ = path;
    auto* child = new QTreeWidgetItem(QStringList{path});
    child->setIcon(0, tree_icon(true));
    child->setData(0, kKindRole, kImage);
    child->setData(0, kDeviceRole, path);
    child->setData(0, kSourceTextRole, path);
    // A whole-card image: each partition can be scanned as a volume.
    for (const ListedPartition& partition : ListPartitions(path.toStdString())) {
        auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(partition.text)});
        item->setIcon(0, tree_icon(false));
        item->setData(0, kKindRole, kPartition);
        item->setData(0, kDeviceRole, path);
        item->setData(0, kSourceTextRole, path);
        item->setData(0, kPartitionRole, partition.number);
        child->addChild(item);
    }
    add_root(QStringLiteral("镜像文件"), {child});
    tv1->setCurrentItem(child);

    const std::string text = path.toStdString();
    if (auto failure = choose({text, SourceKind::Image}, text, text, true))
        warn("出错了", *failure);
    tv1->expandAll();
}

std::optional<std::string> TForm5::choose(const SourceChoice& choice, std::string text,
                                          std::string label, bool is_image) {
    auto measured = MeasureSource(choice);
    if (!measured) {
        // Nothing stays chosen: Next must not scan this path with the range
        // of the source chosen before.
        ctx_.selection = SourceSelection{};
        return measure_failure_text(measured.error());
    }
    ctx_.selection = SelectionOf(std::move(*measured), std::move(text), std::move(label), is_image);
    return std::nullopt;
}

void TForm5::tv1Click() {
    auto& sel = ctx_.selection;
    QTreeWidgetItem* node = tv1->currentItem();
    if (!node) {
        sel.SourceText.clear();
        return;
    }
    sel.SourceIsImage = false;
    const int kind = node->data(0, kKindRole).toInt();
    if (kind == kRoot) {
        warn("", "抱歉，请选中要扫描的源盘!");
        return;
    }
    // An image node is measured again too: with several images loaded, the
    // clicked one must become the source, not the last one loaded.
    const SourceKind source_kind = kind == kDisk     ? SourceKind::Disk
                                   : kind == kVolume ? SourceKind::Volume
                                                     : SourceKind::Image;
    SourceChoice choice{node->data(0, kDeviceRole).toString().toStdString(), source_kind,
                        ctx_.settings.ScanMode == kModeDeep};
    if (kind == kPartition) choice.partition = node->data(0, kPartitionRole).toInt();
    std::string label = node->text(0).toStdString();
    if (kind == kPartition) label = node->parent()->text(0).toStdString() + " " + label;
    if (auto failure = choose(choice, node->data(0, kSourceTextRole).toString().toStdString(),
                              std::move(label), false))
        warn("", *failure);
}

void TForm5::btn1Click() {
    StartScan(ctx_, this);
}

void TForm5::btn4Click() {
    hide();
    ctx_.forms.form8->hide();
    ctx_.forms.form10->hide();
    ctx_.forms.form1->show();
}

void TForm5::closeEvent(QCloseEvent* event) {
    event->accept();
    ctx_.forms.form1->show();
}

}  // namespace tav::app

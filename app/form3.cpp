#include "form3.hpp"

#include <algorithm>

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "form2.hpp"
#include "form5.hpp"
#include "form7.hpp"
#include "platform/atomic_file.hpp"
#include "table_refresher.hpp"

namespace tav::app {

namespace {

// The scanner and the keeper it writes its checkpoint through: the keeper
// is destroyed after the scanner's thread has ended.
struct KeptScan {
    std::unique_ptr<CheckpointKeeper> keeper;
    std::unique_ptr<TscanPst> scan;
    void Start() { scan->Start(); }
    void Join() { scan->Join(); }
};

}  // namespace

HiddenLabel::HiddenLabel(std::function<void()> on_double_click, QWidget* parent)
    : QLabel(QStringLiteral("      "), parent), on_double_click_(std::move(on_double_click)) {
    setFixedSize(24, 20);
}

void HiddenLabel::mouseDoubleClickEvent(QMouseEvent*) {
    if (on_double_click_) on_double_click_();
}

TForm3::TForm3(AppContext& context, QWidget* parent)
    : WizardWindow(context, QStringLiteral("就绪"), QStringLiteral("您所在位置第3步---扫描"),
                   parent) {
    setObjectName("TForm3");
    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);
    add_forum_link(false);

    auto* progress = new QGroupBox(QStringLiteral("扫描进度"));
    auto* progress_layout = new QVBoxLayout(progress);
    g1 = new GaugeBar(progress);
    progress_layout->addWidget(g1);
    lbl3 = new QLabel(progress);
    progress_layout->addWidget(lbl3);
    content()->addWidget(progress);

    auto* log = new QGroupBox(QStringLiteral("扫描日志"));
    auto* log_layout = new QVBoxLayout(log);
    mmo1 = new QPlainTextEdit(log);
    mmo1->setReadOnly(true);
    mmo1->setFrameShape(QFrame::NoFrame);
    mmo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmo1->setBackgroundRole(QPalette::Window);
    mmo1->setStyleSheet("QPlainTextEdit { background: palette(window); }");
    log_layout->addWidget(mmo1);
    content()->addWidget(log, 1);

    auto* buttons = new QHBoxLayout;
    lbl2 = new HiddenLabel([this] { lbl2DblClick(); }, centralWidget());
    btn2 = picture_button(":/pictures/load.png", QStringLiteral("加载扫描结果"), centralWidget());
    btn1 = new QPushButton(QStringLiteral("停止扫描"), centralWidget());
    buttons->addWidget(lbl2);
    buttons->addStretch(1);
    buttons->addWidget(btn1);
    buttons->addWidget(btn2);
    content()->addLayout(buttons);

    connect(btn1, &QPushButton::clicked, this, [this] { btn1Click(); });
    connect(btn2, &QToolButton::clicked, this, [this] { btn2Click(); });
    resize(760, 560);
}

void TForm3::begin_scan() {
    show();
    mmo1->clear();
    g1->set_range64(0, 0);
    g1->set_position64(0);
    WizardWindow::set_status(2, QString());
    lbl3->clear();
}

void TForm3::start_scanner(ScanParams params, ScanCheckpointTarget checkpoint) {
    meter_ = ProgressMeter(params.disk.EndSector *
                           std::max<std::int64_t>(params.disk.BytesPerSector, 1));
    videos_ = 0;
    clock_.start();
    auto reporter = std::make_unique<QtReporter>(this, *this, ctx_.dialogs);
    auto run = std::make_unique<KeptScan>();
    if (!checkpoint.path.empty() && checkpoint.head)
        run->keeper = std::make_unique<CheckpointKeeper>(
            std::move(checkpoint.path), std::move(*checkpoint.head), ctx_.tables, *reporter);
    params.checkpoints = run->keeper.get();
    run->scan = std::make_unique<TscanPst>(std::move(params), ctx_.settings, ctx_.tables, *reporter,
                                           ctx_.StopRequested);
    const TscanPst* ended = run->scan.get();
    ctx_.scan_grid.reset();
    job_.run(std::move(reporter), std::move(run), this, [this, ended] {
        ctx_.scan_grid = ended->outcome().grid;
        ctx_.refresher->refresh_all();
        // The folder of checkpoints is left only while one is in it.
        RemoveFolderIfEmpty(ctx_.checkpoint_folder);
        // The scan has told the user (through the reporter) that the source
        // went away: there are no results to show, the source is picked again.
        if (ended->outcome().source_gone) back_to_source_step();
    });
}

void TForm3::stop_and_wait() {
    if (!job_.running()) return;
    ctx_.StopRequested = 1;
    job_.wait_processing_events();
}

void TForm3::btn1Click() {
    const MsgAnswer answer = ctx_.ask(
        this, "提示", "停止扫描将会导致碎片收集不全从而影响重组的成功率，请确认您是否要停止扫描！",
        MsgIcon::Information, MsgButtons::YesNo);
    ctx_.StopRequested = answer == MsgAnswer::Yes ? 1 : 0;
}

void TForm3::btn2Click() {
    const MsgAnswer answer = ctx_.ask(this, "提示", "您是否要停止扫描并加载扫描结果？",
                                      MsgIcon::Information, MsgButtons::YesNo);
    if (answer != MsgAnswer::Yes) {
        ctx_.StopRequested = 0;
        return;
    }
    ctx_.StopRequested = 1;
    show_results_step();
}

void TForm3::lbl2DblClick() {
    ctx_.forms.form7->show_prompt();
}

void TForm3::append_log(const QString& line) {
    mmo1->appendPlainText(line);
}

void TForm3::set_gauge_range(std::int64_t minimum, std::int64_t maximum) {
    g1->set_range64(minimum, maximum);
    gauge_min_ = minimum;
    gauge_max_ = maximum;
}

void TForm3::set_gauge_position(std::int64_t position) {
    g1->set_position64(position);
    if (gauge_max_ <= gauge_min_ || !clock_.isValid()) return;
    const double fraction = std::clamp(
        static_cast<double>(position - gauge_min_) / static_cast<double>(gauge_max_ - gauge_min_),
        0.0, 1.0);
    meter_.sample(static_cast<double>(clock_.elapsed()) / 1000.0,
                  static_cast<std::int64_t>(fraction * static_cast<double>(meter_.total())));
    show_speed();
}

void TForm3::set_videos_found(std::int64_t count) {
    videos_ = count;
    show_speed();
}

void TForm3::show_speed() {
    QString text;
    if (const auto rate = meter_.bytes_per_second())
        text += QStringLiteral("速度: %1/s    ")
                    .arg(QString::fromStdString(ByteSizeText(static_cast<std::int64_t>(*rate))));
    if (const auto left = meter_.seconds_left())
        text += QStringLiteral("剩余时间: %1    ").arg(QString::fromStdString(DurationText(*left)));
    text += QStringLiteral("已发现视频: %1个").arg(videos_);
    lbl3->setText(text);
}

void TForm3::tables_changed(TableId table) {
    ctx_.refresher->changed(table);
}

void TForm3::results_ready() {
    ctx_.refresher->refresh_all();
    // The user may have moved on to the results already (stop and load).
    if (isVisible()) show_results_step();
}

void TForm3::show_results_step() {
    hide();
    ctx_.forms.form2->show_results();
}

void TForm3::back_to_source_step() {
    if (!isVisible()) return;  // the user moved on already (stop and load)
    hide();
    ctx_.forms.form5->show();
}

void TForm3::closeEvent(QCloseEvent* event) {
    event->accept();
    ctx_.StopRequested = 1;
    ctx_.forms.form2->show_results();
}

}  // namespace tav::app

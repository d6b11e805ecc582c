#include "play_check.hpp"

#include <mutex>
#include <utility>
#include <vector>

#include "form3.hpp"
#include "form4.hpp"
#include "play_check_worker.hpp"
#include "playable_column.hpp"
#include "playable_text.hpp"
#include "table_refresher.hpp"

namespace tav::app {

namespace {

constexpr int kRepaintMs = 100;
// After a change of the tables: the views repaint first, then the worker
// copies the tables (holding their lock a while at 10,000 rows).
constexpr int kRelistMs = 250;

// Read on the worker's thread: the windows outlive the worker (AppWindows
// stops it first), and what is read of them is atomic.
std::function<bool()> OthersBusy(const AppContext& ctx) {
    return [&forms = ctx.forms] {
        const bool saving = forms.form4 && (forms.form4->SaveInProgress || forms.form4->saving());
        return saving || (forms.form3 && forms.form3->scanning());
    };
}

}  // namespace

// Reports wait in a mailbox that one queued call on the GUI thread empties,
// in order: files that fail at once (a source gone) come thousands at a
// time, and each would be an event of its own. None waits for the GUI.
class PlayCheck::Marshal : public PlayCheckReporter {
  public:
    explicit Marshal(PlayCheck& gui) : gui_(gui) {}

    void checking(const std::string&, const std::string& key, std::size_t handled,
                  std::size_t listed) override {
        post([key, handled, listed](PlayCheck& g) { g.on_checking(key, handled, listed); });
    }
    void checked(const std::string& number, const std::string& key,
                 const CheckOutcome& outcome) override {
        post([number, key, outcome](PlayCheck& g) { g.on_checked(number, key, outcome); });
    }
    void dropped(const std::string& key) override {
        post([key](PlayCheck& g) { g.on_dropped(key); });
    }
    void all_checked(std::size_t listed) override {
        post([listed](PlayCheck& g) { g.on_all_checked(listed); });
    }

  private:
    using Report = std::function<void(PlayCheck&)>;

    void post(Report report) {
        {
            const std::lock_guard lock(mutex_);
            pending_.push_back(std::move(report));
            if (std::exchange(queued_, true)) return;
        }
        // Dropped with the PlayCheck, which owns this mailbox.
        QMetaObject::invokeMethod(
            &gui_, [this] { deliver(); }, Qt::QueuedConnection);
    }
    void deliver() {
        std::vector<Report> reports;
        {
            const std::lock_guard lock(mutex_);
            reports.swap(pending_);
            queued_ = false;
        }
        for (const Report& report : reports) report(gui_);
    }

    PlayCheck& gui_;
    std::mutex mutex_;
    std::vector<Report> pending_;
    bool queued_ = false;
};

PlayCheck::PlayCheck(AppContext& context, QObject* parent)
    : QObject(parent),
      ctx_(context),
      verify_([](const std::string& source, const RowPlan& plan,
                 const preview::VerifyOptions& options) {
          return preview::VerifyPlanned(source, plan, options);
      }),
      reporter_(std::make_unique<Marshal>(*this)) {
    repaint_.setSingleShot(true);
    repaint_.setInterval(kRepaintMs);
    connect(&repaint_, &QTimer::timeout, this, &PlayCheck::status_changed);
    TableRefresher& refresher = *ctx_.refresher;
    attach(refresher.model(TableId::Results), &TableSet::results, kResultColumns);
    attach(refresher.model(TableId::Outputs), &TableSet::outputs, kOutputColumns);
    relist_.setSingleShot(true);
    relist_.setInterval(kRelistMs);
    connect(&relist_, &QTimer::timeout, this, [this] {
        if (active_) worker_->check_list(ctx_.rebuilt);
    });
    // Any table may change what a row's file is (a fragment's offsets, a grade).
    connect(&refresher, &TableRefresher::refreshed, this, [this] {
        if (active_) relist_.start();
    });
}

PlayCheck::~PlayCheck() {
    stop();
}

void PlayCheck::attach(TableModel* model, TextTable TableSet::*list, ListColumns columns) {
    const int column = model->add_column(
        std::make_unique<PlayableColumn>(ctx_.tables, ctx_.rebuilt, list, columns, *this));
    connect(&repaint_, &QTimer::timeout, model, [model, column] { model->column_changed(column); });
}

void PlayCheck::start() {
    if (!worker_)
        worker_ =
            std::make_unique<PlayCheckWorker>(ctx_.tables, *reporter_, verify_, OthersBusy(ctx_));
    active_ = true;
    all_checked_ = false;
    set_status(QString(), true);
    relist_.stop();
    worker_->check_list(ctx_.rebuilt);
}

void PlayCheck::prefer(const std::string& number) {
    if (worker_) worker_->prefer(number);
}

void PlayCheck::stop() {
    if (!active_) return;
    active_ = false;
    relist_.stop();
    worker_->stop();
    // Reports still queued are of checks that ended before the stop; the
    // one it cut short is dropped by a report behind them.
    set_status(QStringLiteral("检查已停止"), true);
}

QString PlayCheck::cell(const std::string& key) const {
    if (const auto it = texts_.find(key); it != texts_.end()) return it->second;
    if (key == checking_) return QString::fromUtf8(preview::kCheckingText);
    return {};
}

void PlayCheck::set_status(const QString& text, bool now) {
    status_ = text;
    if (now)
        emit status_changed();
    else
        cells_changed();
}

void PlayCheck::cells_changed() {
    if (!repaint_.isActive()) repaint_.start();
}

void PlayCheck::on_checking(const std::string& key, std::size_t handled, std::size_t listed) {
    if (!active_) return;  // queued before a stop
    checking_ = key;
    all_checked_ = false;
    set_status(QStringLiteral("正在检查第%1/%2个视频").arg(handled).arg(listed));
    cells_changed();
}

void PlayCheck::on_checked(const std::string& number, const std::string& key,
                           const CheckOutcome& outcome) {
    texts_.insert_or_assign(key, QString::fromStdString(preview::PlayableText(outcome)));
    if (checking_ == key) checking_.clear();
    cells_changed();
    emit row_checked(QString::fromStdString(number));
}

void PlayCheck::on_dropped(const std::string& key) {
    if (checking_ == key) checking_.clear();
    cells_changed();
}

void PlayCheck::on_all_checked(std::size_t listed) {
    if (!active_) return;
    all_checked_ = true;
    set_status(QStringLiteral("已检查全部%1个视频").arg(listed));
}

}  // namespace tav::app

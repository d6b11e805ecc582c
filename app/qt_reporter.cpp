#include "qt_reporter.hpp"

#include <QThread>

namespace tav::app {

void QtReporter::log_line(const std::string& line) {
    post([t = &target_, text = QString::fromStdString(line)] { t->append_log(text); });
}

void QtReporter::gauge_range(std::int64_t minimum, std::int64_t maximum) {
    post([t = &target_, minimum, maximum] { t->set_gauge_range(minimum, maximum); });
}

void QtReporter::gauge_position(std::int64_t position) {
    gauge_->position.store(position);
    if (gauge_->queued.exchange(true)) return;  // the waiting call shows the newest
    post([t = &target_, g = gauge_] {
        g->queued.store(false);  // cleared first, so no later position is lost
        t->set_gauge_position(g->position.load());
    });
}

void QtReporter::status_text(int panel, const std::string& text) {
    post([t = &target_, panel, s = QString::fromStdString(text)] { t->set_status(panel, s); });
}

MsgAnswer QtReporter::message_box(const UserMessage& message) {
    MsgAnswer answer = MsgAnswer::Ok;
    auto ask = [&] { answer = dialogs_.message_box(nullptr, message); };
    // Called on the GUI thread itself (a worker run inline): a blocking
    // queued call would wait for itself.
    if (QThread::currentThread() == gui_->thread())
        ask();
    else
        QMetaObject::invokeMethod(gui_, ask, Qt::BlockingQueuedConnection);
    return answer;
}

void QtReporter::table_changed(TableId table) {
    post([t = &target_, table] { t->tables_changed(table); });
}

void QtReporter::videos_found(std::int64_t count) {
    post([t = &target_, count] { t->set_videos_found(count); });
}

void QtReporter::save_progress(const SaveProgress& progress) {
    post([t = &target_, progress] { t->set_save_progress(progress); });
}

void QtReporter::show_results() {
    post([t = &target_] { t->results_ready(); });
}

}  // namespace tav::app

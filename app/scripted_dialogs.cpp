#include "scripted_dialogs.hpp"

namespace tav::app {

namespace {

QString take(std::deque<QString>& queue) {
    if (queue.empty()) return {};
    QString front = queue.front();
    queue.pop_front();
    return front;
}

}  // namespace

MsgAnswer ScriptedDialogs::message_box(QWidget* owner, const UserMessage& message) {
    shown.push_back({message, owner});
    if (answers.empty())
        return message.buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
    const MsgAnswer answer = answers.front();
    answers.pop_front();
    return answer;
}

QString ScriptedDialogs::open_file(QWidget*) {
    return take(open_files);
}

QString ScriptedDialogs::save_file(QWidget*, const QString& proposed_name) {
    proposed_save_names.push_back(proposed_name);
    return take(save_files);
}

QString ScriptedDialogs::browse_folder(QWidget*) {
    return take(folders);
}

void ScriptedDialogs::open_url(const QString& url) {
    opened_urls.push_back(url);
}

}  // namespace tav::app

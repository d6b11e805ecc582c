#pragma once
// Dialogs answered from a script: each call takes the next queued answer (or
// a default) and is recorded, so a test can check what the user was shown.

#include <deque>
#include <vector>

#include "dialogs.hpp"

namespace tav::app {

struct ShownMessage {
    UserMessage message;
    QWidget* owner = nullptr;
};

class ScriptedDialogs : public Dialogs {
  public:
    MsgAnswer message_box(QWidget* owner, const UserMessage& message) override;
    QString open_file(QWidget* owner) override;
    QString save_file(QWidget* owner, const QString& proposed_name) override;
    QString browse_folder(QWidget* owner) override;
    void open_url(const QString& url) override;

    // Queued answers; when a queue is empty, boxes answer Ok / No and file
    // dialogs return nothing.
    std::deque<MsgAnswer> answers;
    std::deque<QString> open_files;
    std::deque<QString> save_files;
    std::deque<QString> folders;

    std::vector<ShownMessage> shown;
    std::vector<QString> proposed_save_names;
    std::vector<QString> opened_urls;

    const UserMessage* last_message() const {
        return shown.empty() ? nullptr : &shown.back().message;
    }
};

}  // namespace tav::app

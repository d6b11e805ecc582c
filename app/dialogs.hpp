#pragma once
// Every modal box, file dialog, folder browser and browser launch goes through
// this seam, so tests and the screenshot walk can answer without a human.

#include <QString>

#include "common/reporter.hpp"

class QWidget;

namespace tav::app {

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // owner may be null (boxes raised by workers have no owner).
    virtual MsgAnswer message_box(QWidget* owner, const UserMessage& message) = 0;
    // An empty result means nothing was chosen.
    virtual QString open_file(QWidget* owner) = 0;
    // A disk image to scan: the dialog offers image files first.
    virtual QString open_image(QWidget* owner) { return open_file(owner); }
    virtual QString save_file(QWidget* owner, const QString& proposed_name) = 0;
    virtual QString browse_folder(QWidget* owner) = 0;
    virtual void open_url(const QString& url) = 0;
};

// The real dialogs.
class QtDialogs : public Dialogs {
  public:
    MsgAnswer message_box(QWidget* owner, const UserMessage& message) override;
    QString open_file(QWidget* owner) override;
    QString open_image(QWidget* owner) override;
    QString save_file(QWidget* owner, const QString& proposed_name) override;
    QString browse_folder(QWidget* owner) override;
    void open_url(const QString& url) override;
};

}  // namespace tav::app

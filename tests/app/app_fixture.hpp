#pragma once
// A whole program instance for one test: scripted dialogs, the context and
// every window, created in start-up order.

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <mutex>

#include "app_context.hpp"
#include "app_windows.hpp"
#include "form1.hpp"
#include "form10.hpp"
#include "form2.hpp"
#include "form3.hpp"
#include "form4.hpp"
#include "form5.hpp"
#include "form6.hpp"
#include "form7.hpp"
#include "form8.hpp"
#include "scripted_dialogs.hpp"
#include "table_refresher.hpp"

namespace tav::app::test {

struct AppFixture {
    QTemporaryDir data;  // the user's data folder: scans keep checkpoints here
    ScriptedDialogs dialogs;
    AppContext ctx{dialogs};
    AppWindows windows{ctx};
    Forms& f = ctx.forms;

    AppFixture() {
        ctx.checkpoint_folder = data.filePath(QStringLiteral("checkpoints")).toStdString();
        f.form1->show();
    }

    // Runs a change of the tables under their lock, then refreshes the views.
    template <class Change>
    void edit_tables(Change change) {
        ctx.tables.with(change);
        ctx.refresher->refresh_all();
    }

    // The tables as they are now.
    TableSet tables() const { return ctx.tables.snapshot(); }

    QString last_text() const {
        const UserMessage* m = dialogs.last_message();
        return m ? QString::fromStdString(m->text) : QString();
    }
    QString last_caption() const {
        const UserMessage* m = dialogs.last_message();
        return m ? QString::fromStdString(m->caption) : QString();
    }
};

inline std::vector<QWidget*> visible_forms(const Forms& f) {
    std::vector<QWidget*> out;
    for (QWidget* w : std::initializer_list<QWidget*>{f.form1, f.form10, f.form2, f.form3, f.form4,
                                                      f.form5, f.form6, f.form7, f.form8})
        if (w->isVisible()) out.push_back(w);
    return out;
}

}  // namespace tav::app::test

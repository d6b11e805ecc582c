#pragma once
// The frame of the two option pages between step 1 and step 2: a plain
// window with the banner, the choice groups, the tips, and back / next.

#include <QMainWindow>
#include <QPushButton>
#include <QToolButton>

#include "app_context.hpp"

class QLabel;
class QVBoxLayout;

namespace tav::app {

class OptionPage : public QMainWindow {
  public:
    OptionPage(AppContext& context, const QString& caption, QWidget* parent = nullptr);

    QPushButton* btn1 = nullptr;  // " 下一步"
    QToolButton* btn3 = nullptr;  // back, hint "上一步"

  protected:
    QVBoxLayout* content() const { return content_; }
    // Closing an option page returns to step 1.
    void closeEvent(QCloseEvent* event) override;

    AppContext& ctx_;

  private:
    QVBoxLayout* content_ = nullptr;
};

// A tips line in the given colour.
QLabel* tip_line(const QString& text, const char* colour);

}  // namespace tav::app

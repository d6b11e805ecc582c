#pragma once
// The frame every wizard step shares: the banner across the top, a content
// area, and a status bar of three panels (80 px, 200 px, the rest).

#include <QLabel>
#include <QMainWindow>
#include <array>

#include "app_context.hpp"
#include "widgets.hpp"

class QAbstractButton;
class QStatusBar;
class QToolButton;
class QVBoxLayout;

namespace tav::app {

class WizardWindow : public QMainWindow {
  public:
    WizardWindow(AppContext& context, const QString& state_word, const QString& step_text,
                 QWidget* parent = nullptr);

    void set_status(int panel, const QString& text);
    QString status(int panel) const;
    BannerWidget* banner() const { return banner_; }
    QStatusBar* stat1 = nullptr;

  protected:
    // The area under the banner that each step fills.
    QVBoxLayout* content() const { return content_; }
    // The "访问论坛 " line at the top right; active windows open the forum.
    QLabel* add_forum_link(bool active);
    // Enter presses the step's forward button (when it can be pressed); Esc
    // closes the window, which does what its cancel does.
    void set_keys(QAbstractButton* forward);
    // A flat picture button with a tool tip, as the back buttons are.
    static QToolButton* picture_button(const QString& picture, const QString& hint,
                                       QWidget* parent);

    AppContext& ctx_;

  private:
    BannerWidget* banner_ = nullptr;
    QVBoxLayout* content_ = nullptr;
    std::array<QLabel*, 3> panels_{};
};

}  // namespace tav::app

#pragma once
// Creates every window once, in start-up order, and wires them into the
// context. Used by main, the tests and the screenshot walk.

#include <memory>

#include "app_context.hpp"

class QApplication;

namespace tav::app {

class AppWindows {
  public:
    explicit AppWindows(AppContext& context);
    ~AppWindows();

    // Asks a running scan to stop and lets running workers end, with the
    // event loop turning (they may be waiting for an answer).
    void shut_down();

  private:
    AppContext& ctx_;
};

// Application title, Fusion style and a light palette.
void SetUpApplication(QApplication& app);

}  // namespace tav::app

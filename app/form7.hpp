#pragma once
// The access-code prompt in front of the expert view.

#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "app_context.hpp"

namespace tav::app {

class TForm7 : public QWidget {
  public:
    explicit TForm7(AppContext& context, QWidget* parent = nullptr);

    // Shows the prompt with its input emptied.
    void show_prompt();
    void btn1Click();

    QLineEdit* edt1 = nullptr;
    QPushButton* btn1 = nullptr;  // "确定"

  private:
    AppContext& ctx_;
};

}  // namespace tav::app

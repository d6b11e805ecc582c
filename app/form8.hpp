#pragma once
// The formatted-mode options: scheme A (free space only) or B (all space).

#include <QRadioButton>

#include "option_page.hpp"

namespace tav::app {

class TForm8 : public OptionPage {
  public:
    explicit TForm8(AppContext& context, QWidget* parent = nullptr);

    // Every path into the page starts from scheme A.
    void show_reset();
    void btn1Click();
    void btn3Click();

    QRadioButton* rb1 = nullptr;  // "仅扫描删除空间（默认）"
    QRadioButton* rb2 = nullptr;  // "所有空间都扫描"
};

}  // namespace tav::app

#pragma once
// The file-type page: the two file types and the large-file option.

#include <QCheckBox>
#include <QRadioButton>

#include "option_page.hpp"

namespace tav::app {

class TForm10 : public OptionPage {
  public:
    explicit TForm10(AppContext& context, QWidget* parent = nullptr);

    // Every path into the page checks the default file type (every
    // camera's videos) again; the large-file box keeps what the user set.
    void show_checked();
    void btn1Click();
    void btn3Click();

    QRadioButton* rb1 = nullptr;  // "文件扩展名为MOV(针对CFDH编码)": tagged clips only
    QRadioButton* rb2 = nullptr;  // every camera's and phone's MOV and MP4 videos
    QCheckBox* chk1 = nullptr;    // "仅扫描大于4GB的大型MOV文件"
};

}  // namespace tav::app

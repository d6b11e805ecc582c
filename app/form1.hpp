#pragma once
// Step 1: the fault type, the tips, the forum and support lines, and the
// rotating link label fed from Item.ini.

#include <QTimer>
#include <QToolButton>
#include <memory>

#include "link_rotation.hpp"
#include "wizard_window.hpp"

namespace tav::app {

class TForm1;

// The rotating link label in the status bar.
class myLabel : public QLabel {
  public:
    explicit myLabel(TForm1& owner, QWidget* parent);
    bool hovered() const { return hovered_; }

  protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    TForm1& owner_;
    bool hovered_ = false;
};

class TForm1 : public WizardWindow {
  public:
    explicit TForm1(AppContext& context, QWidget* parent = nullptr);

    void btn1Click();
    void btn2Click();
    void btn3Click();
    void tmr1Timer();
    // Reads Item.ini (the program's folder in normal runs) and creates the
    // link label when the site check passes.
    void load_link_items(const QString& ini_path);
    void LinkLabelClick();

    QToolButton* btn1 = nullptr;
    QToolButton* btn2 = nullptr;
    QToolButton* btn3 = nullptr;
    QLabel* lbl1 = nullptr;
    QLabel* lbl2 = nullptr;
    QTimer* tmr1 = nullptr;
    myLabel* LinkLabel = nullptr;
    const LinkItems& items() const { return items_; }
    const LinkRotation* rotation() const { return rotation_.get(); }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QWidget* make_fault_group();
    QWidget* make_tips_group();
    void place_link_label();

    LinkItems items_;
    std::unique_ptr<LinkRotation> rotation_;
};

}  // namespace tav::app

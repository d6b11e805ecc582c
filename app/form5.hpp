#pragma once
// Step 2: the source tree (drives or disks, and loaded image files), image
// loading, and Next, which starts the scan.

#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <optional>
#include <string>

#include "sources/measured_source.hpp"
#include "wizard_window.hpp"

namespace tav::app {

class TForm5 : public WizardWindow {
  public:
    explicit TForm5(AppContext& context, QWidget* parent = nullptr);

    // Entry from the file-type page: show, empty the tree, fill it for ScanMode.
    void enter();
    void btn1Click();
    void btn2Click();
    void btn3Click();
    void btn4Click();
    void tv1Click();

    QTreeWidget* tv1 = nullptr;
    QPushButton* btn1 = nullptr;  // "下一步"
    QPushButton* btn2 = nullptr;  // "加载镜像文件"
    QPushButton* btn3 = nullptr;  // "刷新盘符"
    QToolButton* btn4 = nullptr;  // back
    QLabel* lbl2 = nullptr;

    // Tree item data: what a node stands for and the path that measures it.
    enum NodeKind { kRoot = 1, kVolume, kDisk, kImage, kPartition };
    static constexpr int kKindRole = Qt::UserRole;
    static constexpr int kDeviceRole = Qt::UserRole + 1;
    static constexpr int kSourceTextRole = Qt::UserRole + 2;
    static constexpr int kPartitionRole = Qt::UserRole + 3;  // its number on the image

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void fill_tree();
    void add_root(const QString& title, const std::vector<QTreeWidgetItem*>& children);
    void warn(const std::string& caption, const std::string& text);
    // Measures the choice into the selection; the text to show when it
    // cannot be measured.
    std::optional<std::string> choose(const SourceChoice& choice, std::string text,
                                      std::string label, bool is_image);

    QString last_image_;
};

}  // namespace tav::app

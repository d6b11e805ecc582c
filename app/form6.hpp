#pragma once
// The expert view: the fragment and output tables, the popup menu that
// corrects them, the copy fields, and the editable "Source:" field.

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QWidget>

#include "app_context.hpp"
#include "preview_panel.hpp"
#include "recovery/expert_ops.hpp"

namespace tav::app {

class TForm6 : public QWidget {
  public:
    explicit TForm6(AppContext& context, QWidget* parent = nullptr);

    // Shows the "Source:" text the tables carry now.
    void reload_source_field();

    void copy_item(CopyItem item);  // N1 N2 N3 N4 STCOOFF1
    void N7Click();
    void N6Click();
    void mdat1Click();
    void N5Click();

    QTableView* lv1 = nullptr;  // FragmentTable
    QTableView* lv2 = nullptr;  // OutputTable
    QMenu* pm1 = nullptr;
    QAction *N1 = nullptr, *N2 = nullptr, *N3 = nullptr, *N4 = nullptr, *STCOOFF1 = nullptr,
            *N7 = nullptr, *N6 = nullptr, *mdat1 = nullptr, *N5 = nullptr;
    QLineEdit* lbledt1 = nullptr;     // "起始偏移"
    QLineEdit* lbledt2 = nullptr;     // "结束偏移"
    QLineEdit* lbledt3 = nullptr;     // "文件长度"
    QLineEdit* lbledt4 = nullptr;     // "Source:" (SourceField)
    QLineEdit* lbledt5 = nullptr;     // the file type the scan looked for
    QPushButton* btn1 = nullptr;      // "用参考文件重建文件头"
    PreviewPanel* preview = nullptr;  // the first frame of the output row selected in lv2

  private:
    void build_menu();
    QLayout* make_fields();
    std::optional<std::size_t> selected_row() const;
    void after_change(const ExpertOutcome& outcome);
    void preview_selected();

    AppContext& ctx_;
};

}  // namespace tav::app

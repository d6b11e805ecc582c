#pragma once
// The "可播放" column of a list over the tables: each row's file found
// through the save's plan, its cell what the play check knows of that file.
// The plans are made once per row after the list was read again.

#include <string>
#include <vector>

#include "planned_row.hpp"
#include "table_model.hpp"

namespace tav::app {

class PlayCheck;

class PlayableColumn : public ExtraColumn {
  public:
    PlayableColumn(ScanTables& tables, const RebuiltFiles& rebuilt, TextTable TableSet::*list,
                   ListColumns columns, const PlayCheck& check);

    QString title() const override;
    QString cell(std::size_t row) override;
    void rows_changed() override { files_.clear(); }

  private:
    struct RowFile {
        bool known = false;
        bool listed = false;   // the row is in the table
        bool planned = false;  // its cells name a file
        bool rebuilt = false;  // graded "重建": its file needs a rebuilt header
        std::string key;
    };
    RowFile plan_row(std::size_t row) const;

    ScanTables& tables_;
    const RebuiltFiles& rebuilt_;
    TextTable TableSet::*list_;
    ListColumns columns_;
    const PlayCheck& check_;
    std::vector<RowFile> files_;
};

}  // namespace tav::app

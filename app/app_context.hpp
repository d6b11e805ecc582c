#pragma once
// What the windows share for one run of the program: the scan settings, the
// scan tables, the stop flag, the chosen source and the dialog seam. Owned by
// main (or a test), it outlives every window.

#include <QString>
#include <string>

#include "dialogs.hpp"
#include "platform/source_reader.hpp"
#include "recovery/lost_headers.hpp"
#include "scan/media_follow.hpp"
#include "scan/scan_settings.hpp"
#include "scan/scan_start.hpp"
#include "scan/scan_tables.hpp"

namespace tav::app {

class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm6;
class TForm7;
class TForm8;
class TForm10;
class TableRefresher;
class PlayCheck;

inline constexpr char kAppTitle[] = "Tavorine-MOV恢复工具V1.0";
inline constexpr char kWindowCaption[] = "Tavorine-MOV Recovery Tools";
inline constexpr char kForumUrl[] = "http://www.tavmov.com/bbs/";
inline constexpr char kSupportAddress[] = "support@tavmov.com";
inline constexpr char kSiteName[] = "tavmov";

struct Forms {
    TForm1* form1 = nullptr;
    TForm10* form10 = nullptr;
    TForm2* form2 = nullptr;
    TForm3* form3 = nullptr;
    TForm4* form4 = nullptr;
    TForm5* form5 = nullptr;
    TForm6* form6 = nullptr;
    TForm7* form7 = nullptr;
    TForm8* form8 = nullptr;
};

// <AppDataLocation>/checkpoints (UTF-8); empty when the system names no
// data folder.
std::string DefaultCheckpointFolder();

struct AppContext {
    explicit AppContext(Dialogs& d) : dialogs(d), checkpoint_folder(DefaultCheckpointFolder()) {}

    Dialogs& dialogs;
    ScanSettings settings;
    ScanTables tables;
    StopFlag StopRequested{0};
    SourceSelection selection;
    TableRefresher* refresher = nullptr;
    PlayCheck* play_check = nullptr;  // of the listed videos, from step 4 on
    Forms forms;
    // Headers rebuilt from a reference clip, by 编号, for the save.
    RebuiltFiles rebuilt;
    // Where the last scan's files may lie, for a lost header's split media;
    // empty before a scan ended and after a scan-result file was loaded.
    std::optional<FollowSetup> scan_grid;
    // Each source's scan checkpoint lives here, never on the source; empty:
    // scans keep none.
    std::string checkpoint_folder;
    // How the scan opens its source; empty: SourceReader::open. Tests put a
    // medium that fails or goes away here.
    SourceOpener open_source;

    MsgAnswer ask(QWidget* owner, const std::string& caption, const std::string& text, MsgIcon icon,
                  MsgButtons buttons = MsgButtons::Ok) {
        return dialogs.message_box(owner, UserMessage{caption, text, icon, buttons});
    }
    void open_forum() { dialogs.open_url(QString::fromLatin1(kForumUrl)); }
};

}  // namespace tav::app

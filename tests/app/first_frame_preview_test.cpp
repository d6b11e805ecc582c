// The first frame beside the results (step 4) and the output list (expert
// view): shown once a row is selected, decoded off the GUI thread, kept per
// file; a video whose first frame is damaged says so instead; a rebuilt
// video shows the frame of the file its new header makes.

#include <QTemporaryDir>
#include <fstream>

#include "cardgen/mov_builder.hpp"
#include "decoder_loader.hpp"
#include "lost_head_rows.hpp"

using namespace tav;
using namespace tav::app;
using namespace tav::app::test;

namespace {

constexpr std::int64_t kMiB = 1 << 20;

// Adds a video whose start region and movie header lie at these offsets.
void add_video(TableSet& t, int number, std::int64_t head_at, std::int64_t head_length,
               std::int64_t moov_at, std::int64_t moov_length) {
    const auto first = static_cast<std::int64_t>(t.fragments.row_count());
    const auto text = [](std::int64_t n) { return std::to_string(n); };
    const auto fragment = [&](const char* type, std::int64_t at, std::int64_t length) {
        StagedFragmentRow row;
        row.start_type = type;
        row.start_offset = text(at);
        row.end_offset = text(at + length);
        AddFragmentRow(t.fragments, static_cast<std::int64_t>(t.fragments.row_count()) + 1, row);
    };
    fragment("HEAD", head_at, head_length);
    fragment("moov", moov_at, moov_length);
    const std::string list = text(first) + "," + text(first + 1) + ",";
    AddOutputRow(t.outputs, number, {"0", "2", "非常好", list, "0", "24", "2012:05:03 14:22:10"});
    AddResultRow(t.results, number, "40KB", "2", "非常好", "24", "2012:05:03 14:22:10");
}

// A card image with two copies of a 24-frame clip; the second one's first
// frame is zeroed.
struct TwoVideos {
    QTemporaryDir dir;
    std::string image = dir.filePath("card.img").toStdString();
    cardgen::MovFile mov;
};

bool make_card(TwoVideos& v) {
    const auto clip = cardgen::TryEncodeClip(24, 5, true, 320, 240, tav::test::TestClipCache());
    if (!clip) return false;
    v.mov = cardgen::BuildCameraMov({}, *clip);
    std::vector<std::uint8_t> image(4 * kMiB, 0);
    for (std::int64_t at : {0 * kMiB, 2 * kMiB}) {
        std::copy(v.mov.head.begin(), v.mov.head.end(), image.begin() + at + 65536);
        std::copy(v.mov.moov.begin(), v.mov.moov.end(), image.begin() + at + kMiB + 392);
    }
    const auto first = 2 * kMiB + 65536 + static_cast<std::int64_t>(v.mov.chunk_offsets[0]);
    std::fill_n(image.begin() + first, v.mov.sample_sizes[0], 0);
    std::ofstream(v.image, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    return true;
}

void fill_tables(AppFixture& app, const TwoVideos& v) {
    const auto head = static_cast<std::int64_t>(v.mov.head.size());
    const auto moov = static_cast<std::int64_t>(v.mov.moov.size());
    app.edit_tables([&](TableSet& t) {
        t.source_field = v.image;
        add_video(t, 0, 65536, head, kMiB + 392, moov);
        add_video(t, 1, 2 * kMiB + 65536, head, 3 * kMiB + 392, moov);
    });
}

bool shows_picture(const PreviewPanel* p) {
    return p->isVisible() && p->picture()->isVisible() && !p->picture()->pixmap().isNull();
}

}  // namespace

class FirstFramePreviewTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { SetUpApplication(*qApp); }

    void step4_shows_the_selected_videos_first_frame() {
        TwoVideos v;
        QVERIFY(make_card(v));
        AppFixture app;
        fill_tables(app, v);
        app.f.form2->show_results();
        PreviewPanel* panel = app.f.form2->preview;
        QVERIFY(!panel->isVisible());  // nothing selected yet

        app.f.form2->lv1->selectRow(0);
        QTRY_VERIFY(shows_picture(panel));
        QCOMPARE(panel->picture()->pixmap().size(), QSize(320, 240));
        QCOMPARE(panel->caption()->text(), QStringLiteral("时长 00:00:01"));

        app.f.form2->lv1->selectRow(1);
        QTRY_COMPARE(panel->caption()->text(), QStringLiteral("无法解码首帧"));
        QVERIFY(!panel->picture()->isVisible());

        // Back to the first: known already, shown at once.
        app.f.form2->lv1->selectRow(0);
        QVERIFY(shows_picture(panel));

        // Sorting may put another video in the selected row.
        app.f.form2->lv1ColumnClick(0);
        QVERIFY(!panel->isVisible());
    }

    void expert_view_shows_the_selected_output_rows_first_frame() {
        TwoVideos v;
        QVERIFY(make_card(v));
        AppFixture app;
        fill_tables(app, v);
        app.f.form6->show();
        app.f.form6->lv2->selectRow(0);
        QTRY_VERIFY(shows_picture(app.f.form6->preview));
        QCOMPARE(app.f.form6->preview->caption()->text(), QStringLiteral("时长 00:00:01"));
    }

    void a_rebuilt_row_shows_the_first_frame_of_its_new_file() {
        if (!preview::LoadDecoder()) QSKIP("the decoder module cannot be loaded");
        const auto& card = tav::test::GetCard("lost-header");
        QVERIFY2(card.ok(), card.error.c_str());
        AppFixture app;
        QVERIFY(ListLostHeadToRebuild(app, card));
        app.f.form2->btn8->click();
        QCOMPARE(app.tables().results.cell(0, resc::Quality), std::string(kRebuiltQuality));
        app.f.form2->show_results();
        app.f.form2->lv1->selectRow(0);
        QTRY_VERIFY(shows_picture(app.f.form2->preview));
    }
};

QTEST_MAIN(FirstFramePreviewTest)
#include "first_frame_preview_test.moc"

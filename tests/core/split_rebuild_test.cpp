// A lost-header clip whose media data the file system split: the walk goes
// on at the cluster where the stream does, the rows list the pieces, and
// the save copies them in order.

#include <gtest/gtest.h>

#include <fstream>

#include "cardgen/mov_builder.hpp"
#include "common/byte_order.hpp"
#include "recovery/lost_headers.hpp"
#include "recovery/rebuilt_copy.hpp"
#include "recovery_test_support.hpp"
#include "scan/movie_tracks.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

using cardgen::Bytes;
using cardgen::MovFile;

constexpr std::int64_t kCluster = 2048;
constexpr std::int64_t kHead = 30 * kCluster;
constexpr std::uint64_t kCut = 4 * kCluster;  // file offset where the first piece ends
constexpr std::int64_t kImage = 64 * kCluster;

struct SplitCard {
    MovFile clip;
    Bytes image;
    std::int64_t second = 0;  // where the file's bytes from kCut on lie
};

// The clip's start region at kHead up to kCut, zeros after it (a cluster of
// free space), the rest of it at `second`.
SplitCard MakeCard(std::int64_t second) {
    SplitCard c{cardgen::BuildCameraMov({}, cardgen::SyntheticClip(14, 6, true)), Bytes(kImage, 0),
                second};
    const Bytes& h = c.clip.head;
    std::copy(h.begin(), h.begin() + kCut, c.image.begin() + kHead);
    std::copy(h.begin() + kCut, h.end(), c.image.begin() + second);
    return c;
}

ReferenceMovie Reference() {
    const MovFile ref = cardgen::BuildCameraMov({}, cardgen::SyntheticClip(4, 9, true));
    return ParseReferenceMovie(ByteView(ref.moov)).value();
}

FollowSetup Grid(std::function<bool(std::int64_t)> usable = {}, std::int64_t cluster = kCluster) {
    FollowSetup f;
    f.grid_origin = 0;
    f.cluster_bytes = cluster;
    f.area_begin = 0;
    f.area_end = kImage;
    f.usable = std::move(usable);
    return f;
}

TEST(SplitRebuild, TheWalkGoesOnWhereTheStreamDoes) {
    const std::int64_t after = 50 * kCluster, before = 2 * kCluster;
    struct Case {
        const char* what;
        std::int64_t second;
        bool follow;
        std::function<bool(std::int64_t)> usable;
        bool whole;
        std::int64_t cluster = kCluster;
    };
    const Case cases[] = {
        {"the rest further on", after, true, {}, true},
        {"the rest before the first piece", before, true, {}, true},
        // The unit the cut falls in spans several sectors: the free space's
        // zeros after the cut are no stream.
        {"on a raw disk's sectors the cut is where the foreign bytes begin",
         after,
         true,
         {},
         true,
         512},
        {"without the scan's grid the file ends at its first piece", after, false, {}, false},
        {"the rest on a cluster in use is not taken", after, true,
         [&](std::int64_t cluster) { return cluster != after; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SplitCard card = MakeCard(c.second);
        const FollowSetup grid = Grid(c.usable, c.cluster);
        const auto file = RebuildHeader(ViewBytes(ByteView(card.image)), kHead, {Reference()},
                                        c.follow ? &grid : nullptr);
        ASSERT_TRUE(file.has_value()) << file.error();
        EXPECT_EQ(file->source_offset, kHead);
        if (!c.whole) {
            EXPECT_TRUE(file->pieces.empty());
            EXPECT_LT(file->copy_length, kCut);
            continue;
        }
        EXPECT_EQ(file->pieces, (std::vector<MediaPiece>{{kCut, c.second}}));
        EXPECT_EQ(file->frames, card.clip.sample_sizes.size());
        EXPECT_EQ(file->copy_length, card.clip.head.size());
        EXPECT_TRUE(file->patch.empty());
    }
}

TEST(SplitRebuild, RowsListThePiecesAndTheSaveCopiesThemInOrder) {
    const SplitCard card = MakeCard(50 * kCluster);
    test::TempDir dir;
    std::ofstream(dir / "card.img", std::ios::binary)
        .write(reinterpret_cast<const char*>(card.image.data()),
               static_cast<std::streamsize>(card.image.size()));
    const auto source = SourceReader::open((dir / "card.img").string());
    ASSERT_TRUE(source.has_value());
    ScanTables tables;
    tables.with([&](TableSet& t) {
        t.fragments.add_row({"0", "HEAD", std::to_string(kHead), "mdat", "", "0", "", "",
                             "2012:05:03 14:22:10", ""});
    });
    const FollowSetup grid = Grid();
    const LostHeaders lost = RebuildUnpairedHeads(*source, tables, {Reference()}, nullptr, &grid);
    ASSERT_EQ(lost.rebuilt.size(), 1u);
    const RebuiltFile& file = lost.rebuilt.begin()->second;

    const TableSet t = tables.snapshot();
    ASSERT_EQ(t.fragments.row_count(), 2u);
    EXPECT_EQ(t.fragments.cell(1, frag::StartType), "mdat");
    EXPECT_EQ(t.fragments.cell(1, frag::StartOffset), std::to_string(50 * kCluster));
    EXPECT_EQ(t.fragments.cell(1, frag::EndOffset),
              std::to_string(50 * kCluster + card.clip.head.size() - kCut));
    EXPECT_EQ(t.outputs.cell(0, outc::FragmentList), "0,1,");
    EXPECT_EQ(t.outputs.cell(0, outc::FragmentCount), "2");

    test::MemorySink sink;
    ASSERT_TRUE(WriteRebuiltFile(*source, sink, file, {}).has_value());
    ASSERT_EQ(sink.bytes.size(), file.size());
    EXPECT_TRUE(std::equal(card.clip.head.begin(), card.clip.head.end(), sink.bytes.begin()));
}

}  // namespace
}  // namespace tav

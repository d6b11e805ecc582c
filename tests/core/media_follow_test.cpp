// Following a video's media data across the pieces a file system split it
// into: samples checked where the mapping puts them, continuations searched
// on the cluster grid, the split point chosen inside unverifiable bytes.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "scan/media_follow.hpp"

namespace tav {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::int64_t kCluster = 4096;
constexpr std::int64_t kClusters = 160;

// A camera file: a start region, then frames of a delimiter and slice
// bytes (in units as long as the length field holds), each after a chunk of
// silent PCM when with_sound.
struct Movie {
    Movie(std::vector<std::uint32_t> slice_sizes, bool with_sound, std::size_t start_bytes = 96,
          NalFormat nal = {}) {
        std::mt19937 rng(5);
        const bool hevc = nal.codec == VideoCodec::Hevc;
        const Bytes delimiter = hevc ? Bytes{0x46, 0x01, 0x50} : Bytes{0x09, 0xF0};
        const Bytes slice_header = hevc ? Bytes{0x02, 0x01} : Bytes{0x41};
        const std::uint64_t longest =
            nal.length_size == 4 ? ~0u : (1u << (8 * nal.length_size)) - 1;
        const auto unit = [&](std::uint64_t length, const Bytes& header) {
            for (int k = nal.length_size - 1; k >= 0; --k)
                bytes.push_back(static_cast<std::uint8_t>(length >> (8 * k)));
            bytes.insert(bytes.end(), header.begin(), header.end());
        };
        bytes.assign(start_bytes, 0x20);
        for (const std::uint32_t slice : slice_sizes) {
            if (with_sound) {
                map.sound.push_back({bytes.size(), 1920});
                bytes.resize(bytes.size() + 1920, 0);
            }
            const std::uint64_t at = bytes.size();
            unit(delimiter.size(), delimiter);
            for (std::uint64_t left = slice; left > 0;) {
                const std::uint64_t length = std::min(left, longest);
                unit(length, slice_header);
                // Slice payload never holds two zero bytes in a row.
                for (std::uint64_t k = slice_header.size(); k < length; ++k)
                    bytes.push_back(static_cast<std::uint8_t>(1 + rng() % 255));
                left -= length;
            }
            map.video.push_back({at, bytes.size() - at});
        }
        map.sound_frame_bytes = 4;
        map.media_end = bytes.size();
        map.nal = nal;
    }
    Bytes bytes;
    MediaMap map;
};

// A card: pseudo-random clusters (other files), the movie laid in pieces.
struct Card {
    explicit Card(Bytes filler_cluster = {}) : bytes(kClusters * kCluster) {
        std::mt19937 rng(9);
        for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
        if (!filler_cluster.empty())
            for (std::size_t k = 0; k < bytes.size(); ++k)
                bytes[k] = filler_cluster[k % filler_cluster.size()];
    }
    void lay(const Movie& m, const std::vector<MediaPiece>& pieces) {
        for (std::size_t k = 0; k < pieces.size(); ++k) {
            const std::uint64_t end =
                k + 1 < pieces.size() ? pieces[k + 1].file_offset : m.bytes.size();
            std::copy(m.bytes.begin() + static_cast<std::ptrdiff_t>(pieces[k].file_offset),
                      m.bytes.begin() + static_cast<std::ptrdiff_t>(end),
                      bytes.begin() + pieces[k].source_offset);
        }
    }
    ReadSource reader(std::vector<std::int64_t> unreadable = {}) const {
        return [this, unreadable](std::int64_t at, std::span<std::uint8_t> buf) {
            std::fill(buf.begin(), buf.end(), 0);
            bool clean = true;
            for (std::size_t k = 0; k < buf.size(); ++k) {
                const std::int64_t x = at + static_cast<std::int64_t>(k);
                if (std::find(unreadable.begin(), unreadable.end(), x / kCluster * kCluster) !=
                    unreadable.end()) {
                    clean = false;
                    continue;
                }
                if (x >= 0 && x < static_cast<std::int64_t>(bytes.size()))
                    buf[k] = bytes[static_cast<std::size_t>(x)];
            }
            return clean;
        };
    }
    Bytes bytes;
};

FollowSetup Grid() {
    FollowSetup s;
    s.cluster_bytes = kCluster;
    s.area_end = kClusters * kCluster;
    return s;
}

constexpr std::int64_t C = kCluster;

TEST(MediaFollow, FollowsEveryPieceTheFileSystemMade) {
    const Movie small({900,  1500, 700,  2600, 1100, 800, 3000, 1200, 950, 1700, 600,  2200,
                       1300, 1000, 1800, 700,  2400, 900, 1600, 1100, 800, 1900, 1000, 1500},
                      false);
    const Movie sound({900, 1500, 700, 2600, 1100, 800, 3000, 1200, 950, 1700, 600, 2200}, true);
    const Movie tagged({900, 1500, 700, 2600, 1100, 800, 3000, 1200}, false, 6000);
    const Movie big({30000, 9000, 26000, 8000, 12000}, false);
    const struct {
        const char* name;
        const Movie& movie;
        std::vector<MediaPiece> pieces;
    } cases[] = {
        {"in one piece", small, {{0, 10 * C}}},
        {"gap of one cluster", small, {{0, 10 * C}, {2 * C, 13 * C}}},
        {"split inside the camera's tags", tagged, {{0, 10 * C}, {C, 30 * C}}},
        {"gap of many clusters", small, {{0, 10 * C}, {3 * C, 90 * C}}},
        {"three pieces", small, {{0, 10 * C}, {2 * C, 20 * C}, {5 * C, 40 * C}}},
        {"a middle piece of one cluster", small, {{0, 10 * C}, {2 * C, 20 * C}, {3 * C, 40 * C}}},
        {"continued before the head", small, {{0, 100 * C}, {4 * C, 30 * C}}},
        {"sound between the frames", sound, {{0, 10 * C}, {3 * C, 60 * C}, {6 * C, 80 * C}}},
    };
    for (const auto& c : cases) {
        Card card;
        card.lay(c.movie, c.pieces);
        const FollowResult r =
            FollowMedia(card.reader(), c.pieces[0].source_offset, c.movie.map, Grid());
        EXPECT_TRUE(r.complete) << c.name;
        EXPECT_TRUE(r.checkable) << c.name;
        EXPECT_EQ(r.pieces, c.pieces) << c.name;
    }
}

TEST(MediaFollow, FollowsEveryCodecAndLengthSize) {
    const std::vector<std::uint32_t> frames = {900,  1500, 700,  2600, 1100, 800,  3000, 1200,
                                               950,  1700, 600,  2200, 1300, 1000, 1800, 700,
                                               2400, 900,  1600, 1100, 800,  1900, 1000, 1500};
    const NalFormat formats[] = {
        {VideoCodec::H264, 1}, {VideoCodec::H264, 2}, {VideoCodec::Hevc, 2}, {VideoCodec::Hevc, 4}};
    const std::vector<std::vector<MediaPiece>> layouts = {
        {{0, 10 * C}, {2 * C, 13 * C}},
        {{0, 10 * C}, {2 * C, 20 * C}, {5 * C, 40 * C}},
        {{0, 100 * C}, {4 * C, 30 * C}},
    };
    for (const NalFormat& f : formats) {
        const Movie m(frames, false, 96, f);
        for (const auto& pieces : layouts) {
            SCOPED_TRACE(testing::Message()
                         << (f.codec == VideoCodec::Hevc ? "HEVC" : "H.264") << " with "
                         << int{f.length_size} << "-byte lengths, " << pieces.size() << " pieces");
            Card card;
            card.lay(m, pieces);
            const FollowResult r =
                FollowMedia(card.reader(), pieces[0].source_offset, m.map, Grid());
            EXPECT_TRUE(r.complete);
            EXPECT_EQ(r.pieces, pieces);
            EXPECT_TRUE(r.unchecked.empty());
        }
    }
}

// Sectors a failing card or a wipe left blank, or another file's bytes over
// some of the clip's, are no split: the file keeps the bytes in place unless
// more samples check elsewhere, and only the stretch counts as unchecked.
TEST(MediaFollow, KeepsBlankOrForeignStretchesInPlace) {
    std::vector<std::uint32_t> frames;
    for (int k = 0; k < 80; ++k)
        frames.push_back(std::vector<std::uint32_t>{900, 1300, 700, 1100}[k % 4]);
    constexpr std::uint64_t kLongestFrame = 1400;
    const std::vector<MediaPiece> whole = {{0, 10 * C}};
    const struct {
        const char* name;
        std::vector<MediaPiece> pieces;
        std::uint64_t from, to;                    // the stretch, file offsets
        bool zeros;                                // else pseudo-random bytes
        std::uint64_t copy_from = 0, copy_to = 0;  // a copy of the clip's bytes at 100 C
    } cases[] = {
        {"zeros in a clip in one piece", whole, 4 * C + 100, 6 * C + 300, true},
        {"zeros in the second piece of a split clip",
         {{0, 10 * C}, {3 * C, 40 * C}},
         8 * C + 10,
         9 * C + 500,
         true},
        {"zeros a few samples before the split, and a shorter copy elsewhere",
         {{0, 10 * C}, {6 * C, 40 * C}},
         2 * C,
         3 * C + 100,
         true,
         2 * C,
         4 * C},
        {"zeros to the end", whole, 0, 0, true},
        {"foreign bytes over many samples, and a shorter copy elsewhere", whole, 4 * C, 8 * C,
         false, 4 * C, 12 * C},
    };
    for (const NalFormat f : {NalFormat{}, NalFormat{VideoCodec::Hevc, 2}}) {
        const Movie m(frames, false, 96, f);
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message()
                         << c.name << (f.codec == VideoCodec::Hevc ? ", HEVC" : ""));
            const std::uint64_t from = c.to > 0 ? c.from : m.bytes.size() - 3000;
            const std::uint64_t to = c.to > 0 ? c.to : m.bytes.size();
            Movie damaged = m;
            std::mt19937 rng(3);
            for (std::uint64_t k = from; k < to; ++k)
                damaged.bytes[k] = c.zeros ? 0 : static_cast<std::uint8_t>(rng());
            Card card;
            card.lay(damaged, c.pieces);
            std::copy(m.bytes.begin() + static_cast<std::ptrdiff_t>(c.copy_from),
                      m.bytes.begin() + static_cast<std::ptrdiff_t>(c.copy_to),
                      card.bytes.begin() + 100 * C);
            const FollowResult r = FollowMedia(card.reader(), 10 * C, m.map, Grid());
            EXPECT_EQ(r.pieces, c.pieces);
            EXPECT_FALSE(r.complete);
            EXPECT_TRUE(r.checkable);
            EXPECT_GE(r.unchecked_bytes(), to - from);
            EXPECT_LE(r.unchecked_bytes(), to - from + 2 * kLongestFrame);
        }
    }
}

// Inside a slice's payload or a chunk of sound nothing tells where a piece
// ends; the bytes there must still come from the right place.
TEST(MediaFollow, ChoosesTheSplitInsideBytesThatCannotBeChecked) {
    const Movie big({30000, 9000, 26000, 8000, 12000}, false);
    const Movie loud({700, 800, 600, 900, 700, 800, 600, 900, 700, 800, 600, 900}, true);
    const std::vector<MediaPiece> in_slice = {{0, 10 * C}, {4 * C, 60 * C}};
    const std::vector<MediaPiece> in_sound = {{0, 10 * C}, {3 * C, 60 * C}};
    const auto in_use = [](std::int64_t cluster) {
        return (cluster >= 10 * C && cluster < 14 * C) || cluster >= 60 * C;
    };
    const struct {
        const char* name;
        const Movie& movie;
        std::vector<MediaPiece> pieces;
        Bytes filler;  // one cluster, repeated; empty: pseudo-random
        bool free_map;
    } cases[] = {
        {"zeroed free space", big, in_slice, Bytes(kCluster, 0), false},
        {"the other files still in use", big, in_slice, {}, true},
        {"noise where silence should be", loud, in_sound, {}, false},
    };
    for (const auto& c : cases) {
        Card card(c.filler);
        card.lay(c.movie, c.pieces);
        FollowSetup setup = Grid();
        if (c.free_map) setup.usable = in_use;
        const FollowResult r = FollowMedia(card.reader(), 10 * C, c.movie.map, setup);
        EXPECT_TRUE(r.complete) << c.name;
        EXPECT_EQ(r.pieces, c.pieces) << c.name;
    }
}

TEST(MediaFollow, StopsWhereNoContinuationChecks) {
    const Movie m({900, 1500, 700, 2600, 1100, 800, 3000, 1200, 950, 1700, 600, 2200}, false);
    const std::vector<MediaPiece> pieces = {{0, 10 * C}, {3 * C, 90 * C}};
    Card card;
    card.lay(m, pieces);
    // The continuation's clusters are in use: no free piece holds the rest.
    FollowSetup setup = Grid();
    setup.usable = [](std::int64_t cluster) { return cluster < 90 * C; };
    FollowResult r = FollowMedia(card.reader(), 10 * C, m.map, setup);
    EXPECT_FALSE(r.complete);
    EXPECT_TRUE(r.checkable);
    EXPECT_EQ(r.pieces.size(), 1u);
    EXPECT_GT(r.checked_to, 2 * static_cast<std::uint64_t>(C));
    EXPECT_LE(r.checked_to, 3 * static_cast<std::uint64_t>(C) + 5);

    // A sector that cannot be read is no split: nothing is searched.
    Card whole;
    whole.lay(m, {{0, 10 * C}});
    r = FollowMedia(whole.reader({11 * C}), 10 * C, m.map, Grid());
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(r.pieces.size(), 1u);

    // Bytes that are no H.264 at all cannot be followed.
    Card other;
    r = FollowMedia(other.reader(), 10 * C, m.map, Grid());
    EXPECT_FALSE(r.checkable);
}

// A damaged chunk offset puts a sample, and the failed check, far past the
// last good byte: the search stays among the clusters after that byte, in
// bounded memory and time.
TEST(MediaFollow, ASampleFarPastTheMediumIsSearchedNearTheLastGoodByte) {
    Movie m({900, 1500, 700, 2600, 1100, 800, 3000, 1200}, false);
    m.map.video.back().offset = std::uint64_t{1} << 62;
    m.map.media_end = m.map.video.back().end();
    Card card;
    card.lay(m, {{0, 10 * C}});
    const FollowResult r = FollowMedia(card.reader(), 10 * C, m.map, Grid());
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(r.pieces.front(), (MediaPiece{0, 10 * C}));
}

TEST(MediaFollow, TakesKnownPiecesWhenTheyCheck) {
    const Movie m({900, 1500, 700, 2600, 1100, 800, 3000, 1200, 950, 1700, 600, 2200}, false);
    const std::vector<MediaPiece> pieces = {{0, 10 * C}, {2 * C, 50 * C}};
    Card card;
    card.lay(m, pieces);
    FollowSetup setup = Grid();
    setup.known = [&](std::int64_t) { return pieces; };
    EXPECT_EQ(FollowMedia(card.reader(), 10 * C, m.map, setup).pieces, pieces);
    // A stale run list (its clusters reused since) is checked, then ignored.
    setup.known = [](std::int64_t) {
        return std::vector<MediaPiece>{{0, 10 * C}, {2 * C, 70 * C}};
    };
    const FollowResult r = FollowMedia(card.reader(), 10 * C, m.map, setup);
    EXPECT_EQ(r.pieces, pieces);
    EXPECT_TRUE(r.complete);
}

}  // namespace
}  // namespace tav

// End to end with other cameras' and phones' clips (no maker's tags; ISO and
// QuickTime brands; header first or last; H.264 and HEVC; AAC, PCM or no
// sound): every clip comes back byte-exact under its brand's extension and
// its header's date, plays with its sound, and grades 非常好; the tagged-only
// file type leaves them alone.

#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <regex>
#include <sstream>

#include "cardgen/fnv_hash.hpp"
#include "support/cards.hpp"
#include "support/shell_run.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

namespace fs = std::filesystem;

std::string Quote(const std::string& s) {
    return test::ShellQuote(s);
}

test::ShellResult RunCli(const std::string& args, const test::TempDir& dir) {
    return test::RunShell(Quote(TAV_CLI_EXE) + " " + args, dir.path());
}

std::string HashPrefix(const fs::path& p, std::int64_t length) {
    const std::string bytes = test::SlurpFile(p);
    if (static_cast<std::int64_t>(bytes.size()) < length) return "short";
    return cardgen::FnvHex(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                     static_cast<std::size_t>(length)));
}

// "h264,aac" for a file's streams, in order.
std::string Codecs(const fs::path& f, const test::TempDir& dir) {
    const auto probe = test::RunShell(
        "ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " + Quote(f.string()),
        dir.path());
    std::string codecs = probe.out;
    while (!codecs.empty() && codecs.back() == '\n') codecs.pop_back();
    std::replace(codecs.begin(), codecs.end(), '\n', ',');
    return codecs;
}

std::string ExpectedCodecs(const cardgen::ManifestFile& f) {
    std::string codecs = f.video_codec == "hvc1" ? "hevc" : "h264";
    if (f.sound_codec == "mp4a") codecs += ",aac";
    if (f.sound_codec == "sowt") codecs += ",pcm_s16le";
    return codecs;
}

bool NeedsALoopDevice(const test::Card& card, const char* kind) {
    if (card.ok() || card.error.find("loop device") == std::string::npos) return false;
    std::cerr << "skipped " << kind << ": " << card.error << "\n";
    return true;
}

TEST(OtherClipsCli, EveryClipComesBackWholeOnEveryKindOfCard) {
    const struct {
        const char* kind;
        const char* args;
        const char* state;
    } cases[] = {
        {"raw", "--mode deep", "placed"},
        {"fat32-deleted", "--mode deletion", "deleted"},
        {"fat32-formatted", "--mode format", "deleted"},
        {"ntfs-deleted", "--mode deletion", "deleted"},
        {"fat32-4k", "--mode deletion", "deleted"},
        {"exfat-deleted", "--mode deletion", "deleted"},
        {"mbr", "--mode deletion --partition 1", "deleted"},
        {"fat32-split", "--mode deletion", "deleted"},
        {"fat32-split-formatted", "--mode deep", "deleted"},
        {"ntfs-split", "--mode deletion", "deleted"},
        {"exfat-split", "--mode deletion", "deleted"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        const test::Card& card = test::GetCard(c.kind, "other");
        if (NeedsALoopDevice(card, c.kind)) continue;
        ASSERT_TRUE(card.ok()) << card.error;
        test::TempDir dir;
        const std::string img = Quote(card.image.string());
        const auto run = RunCli("recover " + img + " " + c.args + " --quiet --json --out " +
                                    Quote((dir / "out").string()),
                                dir);
        ASSERT_EQ(run.exit_code, 0) << run.err;
        std::map<std::string, fs::path> by_suffix;  // "-frames-date.ext" -> file
        for (const auto& entry : fs::directory_iterator(dir / "out")) {
            const std::string name = entry.path().filename().string();
            by_suffix[name.substr(name.find('-', 4))] = entry.path();
        }
        int expected = 0;
        for (const auto& f : card.with_state(c.state)) {
            ++expected;
            SCOPED_TRACE(f.name);
            ASSERT_FALSE(f.tagged);
            std::string date = f.date + " " + f.time;
            std::replace(date.begin(), date.end(), ':', '-');
            const std::string suffix = "-" + std::to_string(f.frames) + "-" + date + f.extension;
            ASSERT_TRUE(by_suffix.contains(suffix)) << suffix << "\n" << run.out;
            const fs::path file = by_suffix[suffix];
            EXPECT_EQ(HashPrefix(file, f.length), f.file_hash);
            EXPECT_EQ(Codecs(file, dir), ExpectedCodecs(f));
            EXPECT_EQ(std::system(("ffmpeg -nostdin -v error -xerror -i " + Quote(file.string()) +
                                   " -f null - >/dev/null 2>&1")
                                      .c_str()),
                      0);
        }
        EXPECT_GT(expected, 0);
        EXPECT_EQ(static_cast<int>(by_suffix.size()), expected);
        const std::regex other_grade("\"quality\":\"(好|差|不完整)\"");
        EXPECT_FALSE(std::regex_search(run.out, other_grade)) << run.out;

        // The maker's tags alone: none of these clips is listed.
        const auto tagged = RunCli("scan " + img + " " + c.args + " --quiet --tagged-only", dir);
        EXPECT_EQ(tagged.exit_code, 1) << tagged.out;
    }
}

// A card of tagged and other clips: the tagged ones are listed by both file
// types alike, the others only by the second.
TEST(OtherClipsCli, MixedCardListsTaggedClipsInBothModes) {
    const test::Card& card = test::GetCard("raw", "mixed");
    ASSERT_TRUE(card.ok()) << card.error;
    test::TempDir dir;
    const std::string img = Quote(card.image.string());
    const auto any = RunCli("scan " + img + " --mode deep --quiet --json", dir);
    const auto tagged = RunCli("scan " + img + " --mode deep --quiet --json --tagged-only", dir);
    ASSERT_EQ(any.exit_code, 0) << any.err;
    ASSERT_EQ(tagged.exit_code, 0) << tagged.err;
    const std::regex date("\"date\":\"([^\"]*)\"");
    const auto dates = [&](const std::string& doc) {
        std::multiset<std::string> out;
        for (auto m = std::sregex_iterator(doc.begin(), doc.end(), date);
             m != std::sregex_iterator(); ++m)
            out.insert((*m)[1]);
        return out;
    };
    std::multiset<std::string> tagged_dates, all_dates;
    for (const auto& f : card.with_state("placed")) {
        all_dates.insert(f.date + " " + f.time);
        if (f.tagged) tagged_dates.insert(f.date + " " + f.time);
    }
    ASSERT_FALSE(tagged_dates.empty());
    ASSERT_LT(tagged_dates.size(), all_dates.size());
    EXPECT_EQ(dates(tagged.out), tagged_dates);
    EXPECT_EQ(dates(any.out), all_dates);
}

std::vector<std::string> FrameHashes(const fs::path& file, const test::TempDir& dir) {
    return test::FrameHashes(file, dir.path());
}

// Lost headers of other writers' clips, rebuilt from a reference of the same
// layout: every frame the original's, PCM sound kept, AAC left out.
TEST(OtherClipsCli, LostHeadersAreRebuiltFromAReferenceOfTheSameLayout) {
    const test::Card& card = test::GetCard("lost-header", "other");
    ASSERT_TRUE(card.ok()) << card.error;
    test::TempDir dir;
    std::string refs;
    for (const auto& f : card.with_state("lost-header"))
        refs += " --reference " + Quote((card.image.parent_path() / f.reference).string());
    const auto run =
        RunCli("recover " + Quote(card.image.string()) + " --mode deep --quiet --out " +
                   Quote((dir / "out").string()) + refs,
               dir);
    ASSERT_NE(run.exit_code, 2) << run.err;
    std::map<std::string, fs::path> by_suffix;  // "-frames-.ext": rebuilt files have no date
    for (const auto& entry : fs::directory_iterator(dir / "out")) {
        const std::string name = entry.path().filename().string();
        by_suffix[name.substr(name.find('-', 4))] = entry.path();
    }
    int walked = 0;
    for (const auto& f : card.with_state("lost-header")) {
        ++walked;
        SCOPED_TRACE(f.name);
        const std::string suffix = "-" + std::to_string(f.frames) + "-" + f.extension;
        ASSERT_TRUE(by_suffix.contains(suffix)) << suffix << "\n" << run.out;
        const fs::path saved = by_suffix[suffix];
        const auto want = FrameHashes(card.image.parent_path() / f.original, dir);
        ASSERT_EQ(want.size(), static_cast<std::size_t>(f.frames));
        EXPECT_EQ(FrameHashes(saved, dir), want);
        EXPECT_EQ(Codecs(saved, dir),
                  f.sound_codec == "sowt" ? ExpectedCodecs(f) : ExpectedCodecs(f).substr(0, 4));
    }
    EXPECT_GE(walked, 3);
}

// Clips an encoder and muxer wrote (B-frames: pictures shown in another
// order than decoded; PCM in chunks of one, two or three packets; AAC
// between single frames, left out of the rebuilt file), their
// movie atom overwritten on a raw medium: the rebuilt header shows every
// picture where the original did, and plays the same sound.
TEST(OtherClipsCli, LostHeadersOfAnEncodersClipsShowEveryPictureInItsPlace) {
    const struct {
        const char* encoder;
        const char* tag;
        const char* extension;
        const char* sound;
        bool sound_kept;
    } clips[] = {
        {"libx264", "avc1", ".mp4", "-an", true},
        {"libx265", "hvc1", ".mp4", "-an", true},
        {"libx264", "avc1", ".mov", "-c:a pcm_s16le", true},
        {"libx264", "avc1", ".mp4", "-c:a aac", false},  // a chunk of AAC between frames
        {"libx265", "hvc1", ".mp4", "-c:a aac", false},
    };
    test::TempDir dir;
    int n = 0;
    for (const auto& c : clips) {
        const std::string name = std::to_string(n++) + c.extension;
        SCOPED_TRACE(name);
        const fs::path lost = dir / ("lost-" + name), reference = dir / ("reference-" + name);
        const auto encode = [&](const char* picture, const char* tone, const char* seconds,
                                const fs::path& out) {
            return test::RunShell(std::string("ffmpeg -nostdin -v error -y -f lavfi -i ") +
                                      picture + " -f lavfi -i sine=frequency=" + tone +
                                      ":sample_rate=48000 -t " + seconds + " -c:v " + c.encoder +
                                      " -tag:v " + c.tag +
                                      " -x265-params log-level=error -pix_fmt yuv420p " + c.sound +
                                      " " + Quote(out.string()),
                                  dir.path());
        };
        ASSERT_EQ(encode("testsrc2=size=160x120:rate=25", "440", "3", lost).exit_code, 0);
        ASSERT_EQ(encode("mandelbrot=size=160x120:rate=25", "300", "1", reference).exit_code, 0);

        std::string image(4 << 20, '\0');
        std::mt19937 filler(7);
        for (char& b : image) b = static_cast<char>(filler());
        const std::string clip = test::SlurpFile(lost);
        const std::size_t at = 1 << 20, moov = clip.find("moov") - 4;
        ASSERT_LT(moov, clip.size());
        image.replace(at, moov, clip, 0, moov);  // the header's bytes stay filler
        const fs::path img = dir / (name + ".img");
        std::ofstream(img, std::ios::binary) << image;

        const fs::path out = dir / (name + "-out");
        const auto run =
            RunCli("recover " + Quote(img.string()) + " --mode deep --quiet --out " +
                       Quote(out.string()) + " --reference " + Quote(reference.string()),
                   dir);
        ASSERT_EQ(run.exit_code, 0) << run.err;
        std::vector<fs::path> saved(fs::directory_iterator(out), {});
        ASSERT_EQ(saved.size(), 1u);
        const auto want = FrameHashes(lost, dir);
        ASSERT_EQ(want.size(), 75u);
        EXPECT_EQ(FrameHashes(saved.front(), dir), want);
        const auto sound = [&](const fs::path& f) {
            return test::RunShell(
                       "ffmpeg -nostdin -v error -i " + Quote(f.string()) + " -map 0:a? -f md5 -",
                       dir.path())
                .out;
        };
        if (c.sound_kept) {
            EXPECT_EQ(sound(saved.front()), sound(lost));
        }
    }
}

// A recording written in fragments (header first, then "moof" + "mdat"
// pairs, the index last), deleted on a raw medium, comes back whole with
// the frames its fragments hold; one cut short before its index is "好".
TEST(OtherClipsCli, FragmentedRecordingsComeBackWhole) {
    test::TempDir dir;
    const fs::path clip = dir / "fragmented.mp4";
    ASSERT_EQ(
        test::RunShell("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=160x120:rate=25 "
                       "-t 3 -c:v libx264 -g 10 -pix_fmt yuv420p -movflags "
                       "frag_keyframe+empty_moov " +
                           Quote(clip.string()),
                       dir.path())
            .exit_code,
        0);
    const std::string bytes = test::SlurpFile(clip);
    const std::size_t index = bytes.rfind("mfra") - 4;
    ASSERT_LT(index, bytes.size());
    for (const bool whole : {true, false}) {
        SCOPED_TRACE(whole);
        const std::string file = whole ? bytes : bytes.substr(0, index);
        std::string image(2 << 20, '\0');
        std::mt19937 filler(3);
        for (char& b : image) b = static_cast<char>(filler());
        image.replace(1 << 19, file.size(), file);
        const fs::path img = dir / (whole ? "whole.img" : "cut.img");
        std::ofstream(img, std::ios::binary) << image;
        const fs::path out = dir / (whole ? "whole" : "cut");
        const auto run = RunCli("recover " + Quote(img.string()) +
                                    " --mode deep --quiet --json --out " + Quote(out.string()),
                                dir);
        ASSERT_EQ(run.exit_code, 0) << run.err;
        EXPECT_NE(run.out.find(std::string("\"quality\":\"") + (whole ? "非常好" : "好") + "\""),
                  std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("\"frame_count\":75"), std::string::npos) << run.out;
        std::vector<fs::path> saved(fs::directory_iterator(out), {});
        ASSERT_EQ(saved.size(), 1u);
        EXPECT_EQ(test::SlurpFile(saved.front()).substr(0, file.size()), file);
    }
}

}  // namespace
}  // namespace tav

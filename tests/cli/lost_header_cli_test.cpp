// End to end: a card whose deleted files lost their movie header ->
// `tavorine-mov-cli recover --reference` -> files whose frames are the
// originals'.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "cardgen/fnv_hash.hpp"
#include "support/cards.hpp"
#include "support/shell_run.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

namespace fs = std::filesystem;
using test::ShellQuote;

test::ShellResult RunCli(const std::string& args, const test::TempDir& dir) {
    return test::RunShell(ShellQuote(TAV_CLI_EXE) + " " + args, dir.path());
}

std::vector<std::string> FrameHashes(const fs::path& file, const test::TempDir& dir) {
    return test::FrameHashes(file, dir.path());
}

bool HasSound(const fs::path& file, const test::TempDir& dir) {
    return test::RunShell(
               "ffprobe -v error -select_streams a -show_entries stream=codec_type "
               "-of csv=p=0 " +
                   ShellQuote(file.string()),
               dir.path())
               .out == "audio\n";
}

// Output files by "-frames-date time.mov", the part of the name after the number.
std::map<std::string, fs::path> BySuffix(const fs::path& folder) {
    std::map<std::string, fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        files[name.substr(name.find('-', 4))] = entry.path();
    }
    return files;
}

std::string SuffixOf(const cardgen::ManifestFile& f) {
    std::string s = "-" + std::to_string(f.frames) + "-" + f.date + " " + f.time + ".mov";
    std::replace(s.begin(), s.end(), ':', '-');
    return s;
}

std::string References(const test::Card& card, bool with_sound) {
    std::set<std::string> names;
    for (const auto& f : card.with_state("lost-header"))
        if (with_sound || !f.sound) names.insert(f.reference);
    std::string args;
    for (const std::string& n : names)
        args += " --reference " + ShellQuote((card.image.parent_path() / n).string());
    return args;
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(LostHeaderCli, EveryLostHeaderIsRebuiltAndIntactFilesStayByteExact) {
    const test::Card& card = test::GetCard("lost-header");
    ASSERT_TRUE(card.ok()) << card.error;
    test::TempDir dir;
    const fs::path out = dir / "out";
    const auto run = RunCli("recover " + ShellQuote(card.image.string()) + " --out " +
                                ShellQuote(out.string()) + " --json" + References(card, true),
                            dir);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const auto lost = card.with_state("lost-header");
    ASSERT_FALSE(lost.empty());
    EXPECT_EQ(Count(run.out, "\"quality\":\"重建\",\"frames\""), lost.size());
    EXPECT_EQ(Count(run.out, "\"rebuilt\":true"), 2 * lost.size()) << "results and saved";
    EXPECT_NE(run.out.find("\"not_rebuilt\":[]"), std::string::npos);

    auto files = BySuffix(out);
    for (const auto& f : card.files()) {
        SCOPED_TRACE(f.name);
        ASSERT_TRUE(files.contains(SuffixOf(f))) << SuffixOf(f) << "\n" << run.out;
        const fs::path saved = files[SuffixOf(f)];
        if (f.state != "lost-header") {
            const std::string bytes = test::SlurpFile(saved).substr(0, f.length);
            EXPECT_EQ(cardgen::FnvHex(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                                bytes.size())),
                      f.file_hash);
            continue;
        }
        const auto want = FrameHashes(card.image.parent_path() / f.original, dir);
        const auto got = FrameHashes(saved, dir);
        ASSERT_EQ(want.size(), static_cast<std::size_t>(f.frames));
        std::size_t same = 0;
        for (std::size_t k = 0; k < std::min(want.size(), got.size()); ++k)
            same += want[k] == got[k] ? 1 : 0;
        std::cerr << f.name << ": " << same << " of " << want.size() << " frames identical\n";
        EXPECT_GE(same * 100, want.size() * 95);
        EXPECT_EQ(HasSound(saved, dir), f.sound);
    }
}

// A rebuilt video is pictured and checked through the file the save writes.
TEST(LostHeaderCli, RebuiltVideosArePicturedAndCheckedLikeTheOthers) {
    const test::Card& card = test::GetCard("lost-header");
    ASSERT_TRUE(card.ok()) << card.error;
    test::TempDir dir;
    const auto run =
        RunCli("scan " + ShellQuote(card.image.string()) + " --verify --thumbnails " +
                   ShellQuote((dir / "t").string()) + " --json" + References(card, true),
               dir);
    ASSERT_NE(run.exit_code, 2) << run.err;
    std::ofstream(dir / "doc.json") << run.out;
    const auto rebuilt = test::RunShell(
        "python3 -c " +
            ShellQuote("import json,sys; d=json.load(open(sys.argv[1])); "
                       "r=[x for x in d['results'] if x['rebuilt']]; "
                       "print(len(r), sum(x['thumbnail'] is not None for x in r), "
                       "sum(x['verify']['frames_decoded'] * 100 >= x['frame_count'] * 95 "
                       "for x in r))") +
            " " + ShellQuote((dir / "doc.json").string()),
        dir.path());
    const std::size_t lost = card.with_state("lost-header").size();
    ASSERT_GT(lost, 0u);
    EXPECT_EQ(rebuilt.out,
              std::to_string(lost) + " " + std::to_string(lost) + " " + std::to_string(lost) + "\n")
        << rebuilt.err;
}

TEST(LostHeaderCli, WhatCannotBeRebuiltIsReportedAndNotWritten) {
    const test::Card& card = test::GetCard("lost-header");
    ASSERT_TRUE(card.ok()) << card.error;
    test::TempDir dir;
    // Without the sound reference the clips with sound cannot be walked.
    const auto run =
        RunCli("recover " + ShellQuote(card.image.string()) + " --out " +
                   ShellQuote((dir / "out").string()) + " --json" + References(card, false),
               dir);
    EXPECT_EQ(run.exit_code, 3) << run.err;
    std::size_t with_sound = 0;
    for (const auto& f : card.with_state("lost-header")) {
        with_sound += f.sound ? 1 : 0;
        EXPECT_EQ(BySuffix(dir / "out").contains(SuffixOf(f)), !f.sound) << f.name;
    }
    ASSERT_GT(with_sound, 0u);
    EXPECT_EQ(Count(run.err, "无法重建"), with_sound);
    EXPECT_EQ(Count(run.out, "\"error\":\"媒体数据中找不到完整的视频帧\""), with_sound);

    // scan lists the same: the rebuilt ones graded 重建 in its table.
    const auto listed = RunCli("scan " + ShellQuote(card.image.string()) + " --mode deep --quiet" +
                                   References(card, false),
                               dir);
    EXPECT_EQ(listed.exit_code, 3) << listed.err;
    EXPECT_EQ(Count(listed.out, "重建"), card.with_state("lost-header").size() - with_sound);
    EXPECT_EQ(Count(listed.err, "无法重建"), with_sound);

    for (const std::string& bad :
         {card.image.string() + ".manifest.json", std::string("nope.mov")}) {
        const auto refused =
            RunCli("recover " + ShellQuote(card.image.string()) + " --out " +
                       ShellQuote((dir / "bad").string()) + " --reference " + ShellQuote(bad),
                   dir);
        EXPECT_EQ(refused.exit_code, 2) << bad;
        EXPECT_NE(refused.err.find("参考文件"), std::string::npos) << refused.err;
        EXPECT_TRUE(fs::is_empty(dir / "bad")) << bad;
    }
}

}  // namespace
}  // namespace tav

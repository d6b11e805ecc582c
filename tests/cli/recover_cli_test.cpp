// End to end: generated cards -> `tavorine-mov-cli recover` -> playable files.

#include <gtest/gtest.h>

#include <iostream>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>

#include "cardgen/fnv_hash.hpp"
#include "recovery/expert_ops.hpp"
#include "recovery/scan_result_file.hpp"
#include "support/cards.hpp"
#include "support/shell_run.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

namespace fs = std::filesystem;

using CliRun = test::ShellResult;
using test::ShellQuote;

std::string Quote(const std::string& s) {
    return ShellQuote(s);
}
std::string Slurp(const fs::path& p) {
    return test::SlurpFile(p);
}

CliRun RunCli(const std::string& args, const test::TempDir& dir) {
    return test::RunShell(Quote(TAV_CLI_EXE) + " " + args, dir.path());
}

std::string FileHashPrefix(const fs::path& p, std::int64_t length) {
    const std::string bytes = Slurp(p);
    if (static_cast<std::int64_t>(bytes.size()) < length) return "short";
    return cardgen::FnvHex(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                     static_cast<std::size_t>(length)));
}

bool Decodes(const fs::path& f) {
    const std::string cmd =
        "ffmpeg -nostdin -v error -xerror -i " + Quote(f.string()) + " -f null - >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

int ProbeFrames(const fs::path& f) {
    const std::string cmd =
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=nb_read_frames -of csv=p=0 " +
        Quote(f.string());
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe) return -1;
    char buf[64] = {};
    const bool got = std::fgets(buf, sizeof buf, pipe) != nullptr;
    pclose(pipe);
    return got ? std::atoi(buf) : -1;
}

std::string NameFor(int number, const cardgen::ManifestFile& f) {
    std::string date = f.date + " " + f.time;
    for (char& c : date)
        if (c == ':') c = '-';
    return "VYR-" + std::to_string(number) + "-" + std::to_string(f.frames) + "-" + date + ".mov";
}

// Every file that the mode can reach comes back: its output begins with the
// original bytes, decodes without error and has its frame count.
void ExpectAllRecovered(const test::Card& card, const std::string& mode,
                        const std::vector<std::string>& states, const std::string& extra = "") {
    ASSERT_TRUE(card.ok()) << card.error;
    test::TempDir dir;
    const auto out = dir / "nested" / "out";
    const auto run = RunCli("recover " + Quote(card.image.string()) + " --out " +
                                Quote(out.string()) + " --mode " + mode + extra,
                            dir);
    ASSERT_EQ(run.exit_code, 0) << run.err << run.out;
    std::map<std::string, fs::path> by_suffix;  // "-frames-date.mov" -> file
    for (const auto& entry : fs::directory_iterator(out)) {
        const std::string name = entry.path().filename().string();
        by_suffix[name.substr(name.find('-', 4))] = entry.path();
    }
    int expected = 0;
    for (const auto& f : card.files()) {
        if (std::find(states.begin(), states.end(), f.state) == states.end()) continue;
        if (f.head_offset < 0 || f.moov_offset < 0 || !f.last_frame_verifies) continue;
        ++expected;
        SCOPED_TRACE(f.name);
        const std::string suffix = NameFor(0, f).substr(5);
        ASSERT_TRUE(by_suffix.contains(suffix)) << suffix << "\n" << run.out;
        const fs::path file = by_suffix[suffix];
        EXPECT_EQ(FileHashPrefix(file, f.length), f.file_hash);
        EXPECT_TRUE(Decodes(file));
        EXPECT_EQ(ProbeFrames(file), f.frames);
    }
    EXPECT_GT(expected, 0);
}

// exFAT cards are made on a loop device; a machine without one skips them.
bool NeedsALoopDevice(const test::Card& card, const char* kind) {
    if (card.ok() || card.error.find("loop device") == std::string::npos) return false;
    std::cerr << "skipped " << kind << ": " << card.error << "\n";
    return true;
}

TEST(RecoverCli, DemoCardComesBackPlayable) {
    ExpectAllRecovered(test::GetCard("demo"), "deletion", {"deleted"});
}

TEST(RecoverCli, DeletedFilesOnFat32AndNtfs) {
    ExpectAllRecovered(test::GetCard("fat32-deleted"), "deletion", {"deleted"});
    ExpectAllRecovered(test::GetCard("ntfs-deleted"), "deletion", {"deleted"});
}

TEST(RecoverCli, DeletedFilesOnAPartitionOfAWholeCardImage) {
    ExpectAllRecovered(test::GetCard("mbr"), "deletion", {"deleted"}, " --partition 1");
}

// Modern media: FAT16 and exFAT cards, 4096-byte sectors, an SDXC-like
// whole-card image; the deletion scan reads only their free clusters.
TEST(RecoverCli, DeletedFilesOnModernMedia) {
    const struct {
        const char* kind;
        const char* extra;
    } cases[] = {{"fat16-deleted", ""},
                 {"fat32-4k", ""},
                 {"ntfs-4k", ""},
                 {"exfat-deleted", ""},
                 {"mbr-exfat", " --partition 1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        const test::Card& card = test::GetCard(c.kind);
        if (NeedsALoopDevice(card, c.kind)) continue;
        ExpectAllRecovered(card, "deletion", {"deleted"}, c.extra);
    }
}

// Interleaved PCM of every layout, each file ending with a sound chunk: saved
// whole, and its sound plays.
TEST(RecoverCli, VideosWithSoundLastComeBackWithTheirSound) {
    const test::Card& card = test::GetCard("sound");
    ExpectAllRecovered(card, "deep", {"placed"});
    test::TempDir dir;
    const auto run = RunCli("recover " + Quote(card.image.string()) +
                                " --mode deep --quiet --out " + Quote((dir / "out").string()),
                            dir);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    int with_sound = 0;
    for (const auto& entry : fs::directory_iterator(dir / "out")) {
        const auto probe = test::RunShell(
            "ffprobe -v error -select_streams a -show_entries "
            "stream=codec_type -of csv=p=0 " +
                Quote(entry.path().string()),
            dir.path());
        with_sound += probe.out == "audio\n" ? 1 : 0;
    }
    EXPECT_EQ(with_sound, static_cast<int>(card.with_state("placed").size()));
}

// Clips a nearly full card's file system split into two or three runs with
// other files between them: followed through every run and saved byte-exact,
// listed with all their fragments (start region, further pieces, header).
TEST(RecoverCli, SplitClipsComeBackByteExact) {
    const struct {
        const char* kind;
        const char* mode;
    } cases[] = {{"fat32-split", "deletion"},
                 {"exfat-split", "deletion"},
                 {"ntfs-split", "deletion"},
                 {"fat32-split-formatted", "deep"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        const test::Card& card = test::GetCard(c.kind);
        if (NeedsALoopDevice(card, c.kind)) continue;
        ExpectAllRecovered(card, c.mode, {"deleted"});
        test::TempDir dir;
        const auto run =
            RunCli("scan " + Quote(card.image.string()) + " --json --quiet --mode " + c.mode, dir);
        ASSERT_EQ(run.exit_code, 0) << run.err;
        std::multiset<std::string> listed, expected;
        const std::regex count("\"fragment_count\":\"([0-9]+)\"");
        for (auto m = std::sregex_iterator(run.out.begin(), run.out.end(), count);
             m != std::sregex_iterator(); ++m)
            listed.insert((*m)[1]);
        for (const auto& f : card.with_state("deleted"))
            expected.insert(std::to_string(f.fragments.size() + 1));
        EXPECT_EQ(listed, expected);
    }
}

TEST(RecoverCli, RawCardDeepScan) {
    ExpectAllRecovered(test::GetCard("raw"), "deep", {"placed"});
}

TEST(RecoverCli, SelectJsonAndErrors) {
    const auto& card = test::GetCard("demo");
    ASSERT_TRUE(card.ok()) << card.error;
    test::TempDir dir;
    const std::string img = Quote(card.image.string());
    const auto one = RunCli(
        "recover " + img + " --out " + Quote((dir / "one").string()) + " --select 1 --json", dir);
    ASSERT_EQ(one.exit_code, 0) << one.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "one"), fs::directory_iterator()), 1);
    const std::regex saved(
        "\"saved\":\\[\\{\"number\":\"1\",\"path\":\"[^\"]*VYR-1-[^\"]*\","
        "\"written\":true,\"bytes\":[0-9]+,\"unreadable_bytes\":0,\"rebuilt\":false,\"complete\":"
        "true\\}\\]\\}");
    EXPECT_TRUE(std::regex_search(one.out, saved)) << one.out;
    EXPECT_NE(one.out.find("\"results\":["), std::string::npos);
    std::ofstream(dir / "doc.json") << one.out;
    EXPECT_EQ(std::system(("python3 -m json.tool " + Quote((dir / "doc.json").string()) +
                           " >/dev/null 2>&1")
                              .c_str()),
              0);

    const auto unknown =
        RunCli("recover " + img + " --out " + Quote((dir / "x").string()) + " --select 99", dir);
    EXPECT_EQ(unknown.exit_code, 2);
    EXPECT_NE(unknown.err.find("tavorine-mov-cli: error: "), std::string::npos);

    for (const char* bad : {"1,x", "-1", "99999999999999999999999", ""}) {
        const auto run = RunCli(
            "recover " + img + " --out " + Quote((dir / "x").string()) + " --select " + Quote(bad),
            dir);
        EXPECT_EQ(run.exit_code, 2) << bad;
        EXPECT_NE(run.err.find("tavorine-mov-cli: error: "), std::string::npos) << bad;
    }

    const auto missing = RunCli(
        "recover " + Quote((dir / "nope.img").string()) + " --out " + Quote((dir / "x").string()),
        dir);
    EXPECT_EQ(missing.exit_code, 2);
    EXPECT_NE(missing.err.find("tavorine-mov-cli: error: "), std::string::npos);

    std::ofstream(dir / "blank.img", std::ios::binary) << std::string(1 << 20, '\0');
    const auto nothing = RunCli("recover " + Quote((dir / "blank.img").string()) + " --out " +
                                    Quote((dir / "blank").string()) + " --mode deep",
                                dir);
    EXPECT_EQ(nothing.exit_code, 1) << nothing.err;
}

// A scan-result file saves without scanning; a start region added by hand in
// the expert view is saved by the one-fragment rule.
TEST(RecoverCli, LoadedScanResultAndHandAddedFragment) {
    const auto& card = test::GetCard("demo");
    ASSERT_TRUE(card.ok()) << card.error;
    test::TempDir dir;
    const auto vyr = dir / "scan.vyr";
    const auto scan =
        RunCli("scan " + Quote(card.image.string()) + " --save-result " + Quote(vyr.string()), dir);
    ASSERT_EQ(scan.exit_code, 0) << scan.err;

    ScanTables loaded;
    NullReporter quiet;
    ASSERT_TRUE(LoadScanResult(loaded, vyr.string(), quiet));
    TableSet tables = loaded.snapshot();
    std::size_t head_row = tables.fragments.row_count();
    for (std::size_t r = 0; r < tables.fragments.row_count(); ++r)
        if (tables.fragments.cell(r, frag::StartType) == "HEAD") head_row = std::min(head_row, r);
    ASSERT_LT(head_row, tables.fragments.row_count());
    tables.fragments.set_checked(head_row, true);
    ASSERT_FALSE(AddTickedFragments(tables).has_value());
    const std::string added = tables.results.row(tables.results.row_count() - 1).cells[0];
    ASSERT_TRUE(SaveScanResult(ScanTables(tables), tables.source_field, vyr.string(), quiet));

    const auto run = RunCli(
        "recover --load " + Quote(vyr.string()) + " --out " + Quote((dir / "out").string()), dir);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const auto& files = card.files();
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto file = dir / "out" / NameFor(static_cast<int>(i), files[i]);
        ASSERT_TRUE(fs::exists(file)) << file;
        EXPECT_EQ(FileHashPrefix(file, files[i].length), files[i].file_hash);
    }
    // The hand-added start region: (E/512 + 2) units from its start.
    const auto manual = dir / "out" / ("VYR-" + added + "--.mov");
    ASSERT_TRUE(fs::exists(manual)) << run.out;
    const std::int64_t e = std::stoll(tables.fragments.cell(head_row, frag::EndOffset)) -
                           std::stoll(tables.fragments.cell(head_row, frag::StartOffset));
    EXPECT_EQ(static_cast<std::int64_t>(fs::file_size(manual)), (e / 512 + 2) * 512);
    const std::int64_t start = std::stoll(tables.fragments.cell(head_row, frag::StartOffset));
    bool found = false;
    for (const auto& f : files) {
        if (f.head_offset != start) continue;
        found = true;
        EXPECT_EQ(FileHashPrefix(manual, f.head_length), f.head_hash);
    }
    EXPECT_TRUE(found);
}

// A scan-result file names its source absolutely, and saving from another
// medium is refused before anything is written.
TEST(RecoverCli, LoadedScanResultOnlySavesFromItsOwnSource) {
    const auto& card = test::GetCard("demo");
    const auto& other = test::GetCard("raw");
    ASSERT_TRUE(card.ok() && other.ok());
    test::TempDir dir;
    fs::copy_file(card.image, dir / "card.img");
    const std::string in_dir = "cd " + Quote(dir.path().string()) + " && ";
    const auto scan = test::RunShell(
        in_dir + Quote(TAV_CLI_EXE) + " scan card.img --save-result scan.vyr", dir.path());
    ASSERT_EQ(scan.exit_code, 0) << scan.err;
    ScanTables loaded;
    NullReporter quiet;
    ASSERT_TRUE(LoadScanResult(loaded, (dir / "scan.vyr").string(), quiet));
    EXPECT_EQ(loaded.snapshot().source_field, (dir / "card.img").string());

    const auto wrong = test::RunShell(in_dir + Quote(TAV_CLI_EXE) + " recover --load scan.vyr " +
                                          Quote(other.image.string()) + " --out out",
                                      dir.path());
    EXPECT_EQ(wrong.exit_code, 2);
    EXPECT_NE(wrong.err.find("不是该扫描结果文件所扫描的源盘"), std::string::npos) << wrong.err;
    EXPECT_TRUE(!fs::exists(dir / "out") || fs::is_empty(dir / "out"));
}

}  // namespace
}  // namespace tav

// The command line on media that fail: sectors that cannot be read (through
// FUSE, so the kernel answers EIO), writes that fail, sources that are no
// medium, Ctrl-C. What is reported as success must be whole.

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>

#include "support/cards.hpp"
#include "support/faulty_mount.hpp"
#include "support/shell_run.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

namespace fs = std::filesystem;
using test::ShellQuote;

test::ShellResult Cli(const std::string& args, const test::TempDir& dir) {
    return test::RunShell(ShellQuote(TAV_CLI_EXE) + " " + args, dir.path());
}

// The "saved" entries of `recover --json`, by the name without its number
// (a video found when a passed-over area is read again is numbered later):
// "-frames-date.mov" -> (bytes, unreadable bytes).
std::map<std::string, std::pair<long long, long long>> Saved(const std::string& json,
                                                             const test::TempDir& dir) {
    std::ofstream(dir / "doc.json") << json;
    const auto run = test::RunShell(
        "python3 -c 'import json,sys; d=json.load(open(sys.argv[1]));"
        "[print(s[\"path\"].split(\"/\")[-1], s[\"bytes\"], s[\"unreadable_bytes\"]) for s in "
        "d[\"saved\"]]' " +
            ShellQuote((dir / "doc.json").string()),
        dir.path());
    std::map<std::string, std::pair<long long, long long>> out;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        const auto b = line.rfind(' '), a = line.rfind(' ', b - 1);
        const std::string name = line.substr(0, a);
        out[name.substr(name.find('-', 4))] = {std::stoll(line.substr(a + 1, b - a)),
                                               std::stoll(line.substr(b + 1))};
    }
    return out;
}

fs::path Named(const fs::path& folder, const std::string& suffix) {
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().ends_with(suffix)) return entry.path();
    return folder / suffix;
}

// Positions where two files differ.
std::vector<std::size_t> Differences(const fs::path& a, const fs::path& b) {
    const std::string x = test::SlurpFile(a), y = test::SlurpFile(b);
    std::vector<std::size_t> at;
    if (x.size() != y.size()) return {static_cast<std::size_t>(-1)};
    for (std::size_t i = 0; i < x.size(); ++i)
        if (x[i] != y[i]) at.push_back(i);
    return at;
}

// One failing sector inside a video's media data, and a run of failing
// sectors in the middle of another video's media data: every video is still
// listed, and each saved file differs from the clean one only in the failed
// sectors, which the JSON and the exit status own up to.
TEST(FailingMediaCli, UnreadableSectorsCostOnlyTheirOwnBytes) {
    const auto& card = test::GetCard("raw");
    ASSERT_TRUE(card.ok()) << card.error;
    std::vector<cardgen::ManifestFile> videos;
    for (const auto& f : card.files())
        if (f.state == "placed" && f.moov_offset > 0 && f.head_length > 64 * 512)
            videos.push_back(f);
    ASSERT_GE(videos.size(), 2u);
    const std::int64_t one = (videos[0].head_offset + videos[0].head_length / 2) / 512 * 512;
    const std::int64_t run_at = (videos[1].head_offset + 8192) / 512 * 512;
    const std::vector<ByteRange> failing{{one, 512}, {run_at, 24 * 512}};

    test::TempDir dir;
    test::FaultyMount mount(card.image, failing, dir / "mnt");
    if (mount.card().empty()) GTEST_SKIP() << mount.skipped();
    const std::string bad = ShellQuote(mount.card().string());

    const auto clean = Cli("recover " + ShellQuote(card.image.string()) +
                               " --mode deep --json --out " + ShellQuote((dir / "clean").string()),
                           dir);
    ASSERT_EQ(clean.exit_code, 0) << clean.err;
    const auto scan = Cli("scan " + bad + " --mode deep --json", dir);
    EXPECT_EQ(scan.exit_code, 3) << scan.err;
    EXPECT_NE(scan.out.find("\"unreadable\":[{\"offset\":" + std::to_string(one) +
                            ",\"length\":512},{\"offset\":" + std::to_string(run_at) +
                            ",\"length\":12288}]"),
              std::string::npos)
        << scan.out;
    EXPECT_NE(scan.out.find("\"unreadable_bytes\":12800"), std::string::npos);

    const auto got = Cli(
        "recover " + bad + " --mode deep --json --out " + ShellQuote((dir / "bad").string()), dir);
    EXPECT_EQ(got.exit_code, 3) << got.err;
    EXPECT_NE(got.err.find("Byte无法读取"), std::string::npos) << got.err;
    const auto clean_files = Saved(clean.out, dir);
    const auto bad_files = Saved(got.out, dir);
    EXPECT_EQ(bad_files.size(), clean_files.size());
    long long lost = 0;
    for (const auto& [name, sizes] : clean_files) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(bad_files.contains(name));
        const auto diff = Differences(Named(dir / "clean", name), Named(dir / "bad", name));
        EXPECT_EQ(bad_files.at(name).first, sizes.first);
        EXPECT_LE(static_cast<long long>(diff.size()), bad_files.at(name).second);
        lost += bad_files.at(name).second;
    }
    EXPECT_EQ(lost, 512 + 24 * 512);
}

// A write that fails half-way (here the file-size limit, EFBIG) leaves no
// file behind, the next files are still tried, and the exit status says so.
TEST(FailingMediaCli, FailedWritesLeaveNoPartialFile) {
    const auto& card = test::GetCard("demo");
    ASSERT_TRUE(card.ok()) << card.error;
    test::TempDir dir;
    const auto run = test::RunShell("trap '' XFSZ; ulimit -f 40; " + ShellQuote(TAV_CLI_EXE) +
                                        " recover " + ShellQuote(card.image.string()) + " --out " +
                                        ShellQuote((dir / "out").string()),
                                    dir.path());
    EXPECT_EQ(run.exit_code, 3) << run.err;
    EXPECT_NE(run.err.find("失败"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(dir / "out"));
    EXPECT_NE(run.out.find("失败 " + std::to_string(card.with_state("deleted").size()) + " 个"),
              std::string::npos)
        << run.out;
}

TEST(FailingMediaCli, SourcesThatAreNoMediumAreRefused) {
    const auto& card = test::GetCard("demo");
    ASSERT_TRUE(card.ok()) << card.error;
    test::TempDir dir;
    // A scan-result file whose source is /dev/zero would be read without end.
    const auto vyr = ShellQuote((dir / "scan.vyr").string());
    ASSERT_EQ(
        Cli("scan " + ShellQuote(card.image.string()) + " --save-result " + vyr, dir).exit_code, 0);
    const auto zero =
        Cli("recover --load " + vyr + " /dev/zero --out " + ShellQuote((dir / "z").string()), dir);
    EXPECT_EQ(zero.exit_code, 2) << zero.err;
    EXPECT_NE(zero.err.find("/dev/zero"), std::string::npos) << zero.err;
    EXPECT_TRUE(fs::is_empty(dir / "z"));
    // A number named twice is written once.
    const auto twice = Cli(
        "recover --load " + vyr + " --select 1,1,01 --out " + ShellQuote((dir / "once").string()),
        dir);
    EXPECT_EQ(twice.exit_code, 0) << twice.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "once"), fs::directory_iterator()), 1);

    ASSERT_EQ(std::system(("mkfifo " + ShellQuote((dir / "pipe").string())).c_str()), 0);
    for (const std::string& source : {std::string("/dev/zero"), (dir / "pipe").string()}) {
        const auto run = Cli("scan " + ShellQuote(source) + " --mode deep", dir);
        EXPECT_EQ(run.exit_code, 2) << source;
        EXPECT_NE(run.err.find("tavorine-mov-cli: error: "), std::string::npos) << source;
    }
}

// Ctrl-C and SIGTERM stop the scan: the log and the exit status say stopped.
TEST(FailingMediaCli, InterruptedScanSaysStopped) {
    test::TempDir dir;
    const auto image = dir / "big.img";
    { std::ofstream(image, std::ios::binary); }
    fs::resize_file(image, 64LL << 30);  // sparse: reads fast but takes seconds
    for (const char* signal : {"INT", "TERM"}) {
        SCOPED_TRACE(signal);
        const auto run = test::RunShell(std::string("timeout --preserve-status -s ") + signal +
                                            " 0.5 " + ShellQuote(TAV_CLI_EXE) + " scan " +
                                            ShellQuote(image.string()) + " --mode deep",
                                        dir.path());
        EXPECT_EQ(run.exit_code, 130) << run.out << run.err;
        EXPECT_NE(run.out.find("扫描已停止"), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("扫描完成"), std::string::npos);
    }
}

}  // namespace
}  // namespace tav

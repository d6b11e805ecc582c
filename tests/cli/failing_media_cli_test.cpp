// The command line on media that fail: sectors that cannot be read (through
// FUSE, so the kernel answers EIO), writes that fail, sources that are no
// medium, Ctrl-C. What is reported as success must be whole.

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <regex>

#include "cli/cli_run.hpp"
#include "support/cards.hpp"
#include "support/faulty_mount.hpp"
#include "support/shell_run.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

namespace fs = std::filesystem;
using test::Cli;
using test::ShellQuote;

// The unreadable bytes of every file `recover --json` saved, added up.
long long SavedUnreadable(const std::string& json) {
    static const std::regex kSaved(
        "\"written\":true,\"bytes\":[0-9]+,\"unreadable_bytes\":([0-9]+)");
    long long sum = 0;
    for (std::sregex_iterator it(json.begin(), json.end(), kSaved), end; it != end; ++it)
        sum += std::stoll((*it)[1].str());
    return sum;
}

// One failing sector inside a video's media data, and a run of failing
// sectors in another's, as the kernel reports them: the scan and the save own
// up to exactly those bytes (that the files differ only there is checked on
// the core's own cards).
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
    EXPECT_EQ(SavedUnreadable(got.out), 512 + 24 * 512);
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

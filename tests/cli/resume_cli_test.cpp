// Long scans on the command line: a reader pulled out mid-scan (the kernel
// answers ENODEV through FUSE) stops the scan with a checkpoint, the scan
// goes on from it on the same card under another path and ends with the
// tables of an uninterrupted scan; another card is refused with nothing
// written.

#include <gtest/gtest.h>

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

// The scan's tables in `scan --json`, without the source's path.
std::string Tables(const std::string& json) {
    const auto from = json.find("\"results\"");
    const auto to = json.find("\"stopped\"");
    return from == std::string::npos || to == std::string::npos ? json
                                                                : json.substr(from, to - from);
}

TEST(ResumeCli, APulledReaderStopsTheScanWhichGoesOnFromItsCheckpoint) {
    const auto& card = test::GetCard("fat32-deleted");
    ASSERT_TRUE(card.ok()) << card.error;
    const auto videos = card.with_state("deleted");
    ASSERT_GE(videos.size(), 2u);
    test::TempDir dir;
    const std::string image = ShellQuote(card.image.string());
    const auto whole = Cli("scan " + image + " --json --quiet", dir);
    ASSERT_EQ(whole.exit_code, 0) << whole.err;

    const std::int64_t pulled = videos[1].head_offset + videos[1].head_length / 2;
    test::FaultyMount mount(card.image, {}, dir / "mnt", pulled);
    if (mount.card().empty()) GTEST_SKIP() << mount.skipped();
    const std::string checkpoint = ShellQuote((dir / "scan.checkpoint").string());
    const auto cut = Cli(
        "scan " + ShellQuote(mount.card().string()) + " --json --quiet --checkpoint " + checkpoint,
        dir);
    EXPECT_EQ(cut.exit_code, 2) << cut.err;
    EXPECT_NE(cut.err.find("源盘已断开"), std::string::npos) << cut.err;
    EXPECT_NE(cut.err.find("scan --resume \"" + (dir / "scan.checkpoint").string() + "\""),
              std::string::npos)
        << cut.err;
    ASSERT_TRUE(fs::exists(dir / "scan.checkpoint"));
    EXPECT_NE(test::SlurpFile(dir / "scan.checkpoint").find("reader.unreadable\t\n"),
              std::string::npos)
        << "a pulled reader is not a bad card";

    // The card is back, under another path: the image itself.
    const auto resumed = Cli("scan --resume " + checkpoint + " " + image + " --json --quiet", dir);
    ASSERT_EQ(resumed.exit_code, 0) << resumed.err;
    EXPECT_EQ(Tables(resumed.out), Tables(whole.out));
    EXPECT_FALSE(fs::exists(dir / "scan.checkpoint")) << "a finished scan leaves no checkpoint";
}

TEST(ResumeCli, AnotherCardIsRefusedAndNothingIsWritten) {
    const auto& card = test::GetCard("fat32-deleted");
    const auto& other = test::GetCard("fat32-formatted");
    ASSERT_TRUE(card.ok() && other.ok());
    test::TempDir dir;
    const std::string checkpoint = ShellQuote((dir / "scan.checkpoint").string());
    {
        test::FaultyMount mount(card.image, {}, dir / "mnt", card.files().back().head_offset);
        if (mount.card().empty()) GTEST_SKIP() << mount.skipped();
        const auto cut =
            Cli("scan " + ShellQuote(mount.card().string()) + " --quiet --checkpoint " + checkpoint,
                dir);
        ASSERT_TRUE(fs::exists(dir / "scan.checkpoint")) << cut.err;
    }
    const std::string kept = test::SlurpFile(dir / "scan.checkpoint");

    const std::string commands[] = {"scan", "recover --out " + ShellQuote((dir / "out").string())};
    for (const std::string& command : commands) {
        SCOPED_TRACE(command);
        const auto refused =
            Cli(command + " --resume " + checkpoint + " " + ShellQuote(other.image.string()), dir);
        EXPECT_EQ(refused.exit_code, 2) << refused.err;
        EXPECT_NE(refused.err.find("不是该扫描进度所扫描的源盘"), std::string::npos) << refused.err;
        EXPECT_FALSE(fs::exists(dir / "out"));
        EXPECT_EQ(test::SlurpFile(dir / "scan.checkpoint"), kept);
    }
}

}  // namespace
}  // namespace tav

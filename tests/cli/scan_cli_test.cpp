// `tavorine-mov-cli scan` and `list` run as a user would: exit codes, the
// printed table and the JSON document (checked with Python's own parser).

#include <gtest/gtest.h>

#include <fstream>

#include "support/cards.hpp"
#include "support/shell_run.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

namespace fs = std::filesystem;

using CliResult = test::ShellResult;

std::string Quote(const std::string& s) {
    return test::ShellQuote(s);
}

class ScanCli : public ::testing::Test {
  protected:
    CliResult Run(const std::string& command, const std::string& args) {
        return test::RunShell(command + " " + args, dir_.path());
    }
    CliResult Cli(const std::string& args) { return Run(Quote(TAV_CLI_EXE), args); }

    // Runs a Python snippet on the file's JSON (bound to d); its stdout.
    std::string PyJson(const std::string& json, const std::string& expr) {
        const auto doc = dir_ / "doc.json";
        std::ofstream(doc, std::ios::binary) << json;
        const auto r = Run("python3 -c " + Quote("import json,sys; d=json.load(open(sys.argv[1], "
                                                 "encoding='utf-8')); print(" +
                                                 expr + ")"),
                           Quote(doc.string()));
        EXPECT_EQ(r.exit_code, 0) << r.err;
        return r.out;
    }

    test::TempDir dir_;
};

TEST_F(ScanCli, DeepScanPrintsTheLogAndTheResultTable) {
    const auto& card = test::GetCard("raw");
    ASSERT_TRUE(card.ok()) << card.error;
    const auto r = Cli("scan " + Quote(card.image.string()) + " --mode deep");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("]  镜像文件:  " + card.image.string()), std::string::npos);
    EXPECT_NE(r.out.find("]  扫描方式:  深入扫描"), std::string::npos);
    EXPECT_NE(r.out.find("]  分析完毕"), std::string::npos);
    EXPECT_NE(r.out.find("编号"), std::string::npos);
    EXPECT_NE(r.out.find("非常好"), std::string::npos);
    EXPECT_EQ(r.err.find('\r'), std::string::npos);  // no progress bar off a terminal
}

TEST_F(ScanCli, JsonDocumentHoldsResultsFragmentsAndOutputs) {
    const auto& card = test::GetCard("raw");
    ASSERT_TRUE(card.ok()) << card.error;
    const auto r = Cli("scan " + Quote(card.image.string()) + " --mode deep --json");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    // The log went to stderr; stdout is the document alone.
    EXPECT_NE(r.err.find("开始扫描......"), std::string::npos);
    const std::size_t placed = card.with_state("placed").size();
    EXPECT_EQ(PyJson(r.out, "len(d['results'])"), std::to_string(placed) + "\n");
    EXPECT_EQ(PyJson(r.out, "sorted(d['results'][0].keys()), d['format']"),
              "['date', 'date_iso', 'fragment_count', 'fragment_ranges', 'frame_count', "
              "'frames', 'length', 'length_bytes', 'number', 'quality', 'rebuilt'] 2\n");
    // The typed values agree with the texts and with one another.
    EXPECT_EQ(PyJson(r.out,
                     "all(x['frame_count'] == int(x['frames']) and x['length_bytes'] == "
                     "sum(f['length'] for f in x['fragment_ranges']) and len(x['fragment_ranges']) "
                     "== int(x['fragment_count']) and x['date_iso'][:10] == "
                     "x['date'][:10].replace(':', '-') for x in d['results'])"),
              "True\n");
    EXPECT_EQ(PyJson(r.out,
                     "set(len(f) for f in d['fragments']), set(len(o) for o in "
                     "d['outputs'])"),
              "{15} {8}\n");
    EXPECT_EQ(PyJson(r.out,
                     "[f[0] for f in d['fragments']] == [str(k) for k in "
                     "range(len(d['fragments']))]"),
              "True\n");
    EXPECT_EQ(PyJson(r.out, "d['results'][0]['quality'] in ('非常好', '好')"), "True\n");
}

TEST_F(ScanCli, LargeOnlyListsOnlySixtyFourBitFiles) {
    const auto& card = test::GetCard("raw");
    ASSERT_TRUE(card.ok()) << card.error;
    std::size_t large = 0;
    for (const auto& f : card.with_state("placed")) large += f.mdat64 && f.co64;
    const auto r = Cli("scan " + Quote(card.image.string()) + " --mode deep --large-only --json");
    ASSERT_EQ(r.exit_code, large > 0 ? 0 : 1) << r.err;
    EXPECT_EQ(PyJson(r.out, "len(d['results'])"), std::to_string(large) + "\n");
}

TEST_F(ScanCli, DeletionScanOfAFat32CardAndNothingFoundExitsOne) {
    const auto& card = test::GetCard("fat32-deleted");
    ASSERT_TRUE(card.ok()) << card.error;
    const auto r = Cli("scan " + Quote(card.image.string()) + " --json");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find("]  扫描方式:  误删除"), std::string::npos);
    EXPECT_NE(r.err.find("Fat表所在偏移"), std::string::npos);

    const auto empty = dir_ / "empty.img";
    std::ofstream(empty, std::ios::binary) << std::string(1 << 20, '\0');
    const auto none = Cli("scan " + Quote(empty.string()) + " --mode deep --json");
    EXPECT_EQ(none.exit_code, 1) << none.err;
    EXPECT_EQ(PyJson(none.out, "d"),
              "{'format': 2, 'results': [], 'fragments': [], 'outputs': [], 'stopped': False, "
              "'unreadable': [], "
              "'unreadable_bytes': 0}\n");
}

TEST_F(ScanCli, ErrorsExitTwoWithOneLine) {
    const auto missing = Cli("scan " + Quote((dir_ / "nope.img").string()));
    EXPECT_EQ(missing.exit_code, 2);
    EXPECT_EQ(missing.err.rfind("tavorine-mov-cli: error: ", 0), 0u) << missing.err;
    const auto bad_mode = Cli("scan x --mode fast");
    EXPECT_EQ(bad_mode.exit_code, 2);
}

TEST_F(ScanCli, ImageWithoutFileSystemIsScannedDeepWhateverTheMode) {
    const auto raw = dir_ / "raw.img";
    std::ofstream(raw, std::ios::binary) << std::string(1 << 20, '\0');
    const auto r = Cli("scan " + Quote(raw.string()) + " --mode deletion");
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_NE(r.out.find("]  扫描方式:  深入扫描"), std::string::npos);
    EXPECT_NE(r.out.find("]  文件系统:  Raw"), std::string::npos);
}

TEST_F(ScanCli, SavedResultFileIsWritten) {
    const auto& card = test::GetCard("raw");
    ASSERT_TRUE(card.ok()) << card.error;
    const auto file = dir_ / "result.vyr";
    const auto r = Cli("scan " + Quote(card.image.string()) + " --mode deep --save-result " +
                       Quote(file.string()));
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_GT(fs::file_size(file), 100u);
}

TEST_F(ScanCli, ProgressLineOnAPipeOnlyWhenAskedAndQuietSilencesItAndTheSummary) {
    const std::string image = Quote(test::GetCard("raw").image.string());
    const auto plain = Cli("scan " + image + " --mode deep");
    const auto progress = Cli("scan " + image + " --mode deep --progress");
    const auto quiet = Cli("scan " + image + " --mode deep --progress --quiet");
    EXPECT_EQ(plain.err.find("已发现"), std::string::npos);
    EXPECT_NE(progress.err.find("100%"), std::string::npos) << progress.err;
    EXPECT_NE(progress.err.find("个视频"), std::string::npos) << progress.err;
    EXPECT_NE(plain.err.find("扫描结束: 读取 33.6 MB"), std::string::npos) << plain.err;
    EXPECT_EQ(quiet.err, "");
    // A save shows the file being written and the total.
    const auto saving =
        Cli("recover " + image + " --mode deep --progress --out " + Quote((dir_ / "out").string()));
    EXPECT_NE(saving.err.find("保存 1/"), std::string::npos) << saving.err;
    EXPECT_NE(saving.err.find("总计 100%"), std::string::npos) << saving.err;
}

TEST_F(ScanCli, VersionIsPrinted) {
    const auto r = Cli("--version");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, std::string("tavorine-mov-cli ") + TAVORINE_VERSION + "\n");
}

TEST_F(ScanCli, ListPrintsBothGroups) {
    const auto r = Cli("list");
    EXPECT_TRUE(r.exit_code == 0 || r.exit_code == 1) << r.err;
    const auto volumes = r.out.find("逻辑盘符列表");
    const auto disks = r.out.find("物理硬盘列表");
    ASSERT_NE(volumes, std::string::npos);
    ASSERT_NE(disks, std::string::npos);
    EXPECT_LT(volumes, disks);
}

// A whole-card image attached read-only is listed as a disk named after its
// file, with its partition, and can be scanned there by number.
TEST_F(ScanCli, AttachedCardImageIsListedWithItsPartitions) {
    const test::Card& card = test::GetCard("mbr");
    ASSERT_TRUE(card.ok()) << card.error;
    const auto attach =
        Run("PATH=\"$PATH:/sbin:/usr/sbin\" losetup -r -f --show", Quote(card.image.string()));
    if (attach.exit_code != 0) GTEST_SKIP() << "no loop device here: " << attach.err;
    const std::string loop = attach.out.substr(0, attach.out.find('\n'));
    const auto listed = Cli("list --json");
    const auto scanned = Cli("scan " + loop + " --partition 1 --json");
    Run("PATH=\"$PATH:/sbin:/usr/sbin\" losetup -d", loop);
    EXPECT_EQ(listed.exit_code, 0) << listed.err;
    EXPECT_EQ(PyJson(listed.out,
                     "[(p['number'], p['file_system'], p['offset']) for x in d['disks'] "
                     "if x['device'] == '" +
                         loop + "' and '" + card.image.filename().string() +
                         "' in x['text'] "
                         "for p in x['partitions']]"),
              "[(1, 'FAT32', 1048576)]\n");
    EXPECT_EQ(scanned.exit_code, 0) << scanned.err;
    EXPECT_EQ(PyJson(scanned.out, "len(d['results'])"),
              std::to_string(card.with_state("deleted").size()) + "\n");
}

}  // namespace
}  // namespace tav

// `--verify` end to end: a card with one clip damaged in the middle of its
// media data -> which videos play, how far the damaged one does, and what
// `recover --select playable` and the end summary make of it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli/cli_run.hpp"
#include "support/cards.hpp"

namespace tav {
namespace {

namespace fs = std::filesystem;
using test::ShellQuote;

class VerifyCli : public ::testing::Test {
  protected:
    // The demo card with 16 KiB zeroed half-way into result 1's media data.
    void SetUp() override {
        const auto& card = test::GetCard("demo");
        ASSERT_TRUE(card.ok()) << card.error;
        fs::copy_file(card.image, image_);
        const auto scan = test::Cli("scan " + ShellQuote(image_.string()) + " --json", dir_);
        ASSERT_EQ(scan.exit_code, 0) << scan.err;
        const std::string range =
            Py(scan.out,
               "r=d['results'][1]['fragment_ranges'][0]; print(r['offset'] + r['length'] // 2)");
        std::fstream f(image_, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(std::stoll(range));
        f.write(std::string(16384, '\0').data(), 16384);
    }

    // Evaluates Python over the JSON document d.
    std::string Py(const std::string& json, const std::string& code) {
        const auto doc = dir_ / "doc.json";
        std::ofstream(doc, std::ios::binary) << json;
        const auto r = test::RunShell(
            "python3 -c " + ShellQuote("import json,sys; d=json.load(open(sys.argv[1])); " + code) +
                " " + ShellQuote(doc.string()),
            dir_.path());
        EXPECT_EQ(r.exit_code, 0) << r.err;
        return r.out.substr(0, r.out.find_last_not_of('\n') + 1);
    }

    std::string card() const { return ShellQuote(image_.string()); }

    test::TempDir dir_;
    fs::path image_ = dir_ / "damaged.img";
};

TEST_F(VerifyCli, ScanSaysHowFarEachVideoPlays) {
    const auto run = test::Cli("scan " + card() + " --verify --json", dir_);
    EXPECT_EQ(run.exit_code, 3) << "one video does not play to its end\n" << run.err;
    EXPECT_EQ(Py(run.out, "print(d['format'])"), "2");
    EXPECT_EQ(Py(run.out, "print([r['verify']['plays_fully'] for r in d['results']])"),
              "[True, False, True]");
    // Every frame of the whole ones, as many as their headers list.
    EXPECT_EQ(Py(run.out,
                 "print(all(r['verify']['frames_decoded'] == r['frame_count'] == "
                 "r['verify']['frames_listed'] for r in d['results'] if "
                 "r['verify']['plays_fully']))"),
              "True");
    // The damaged one plays up to about half-way, and says so.
    const std::string v = "v=d['results'][1]['verify']; ";
    EXPECT_EQ(Py(run.out, v + "print(0 < v['frames_decoded'] < v['frames_listed'])"), "True");
    EXPECT_EQ(Py(run.out, v + "print(0.3 < v['first_bad_ms'] / v['duration_ms'] < 0.7)"), "True");
    EXPECT_EQ(Py(run.out, v + "print(v['last_good_ms'] < v['first_bad_ms'])"), "True");
    EXPECT_EQ(Py(run.out, v + "print(v['text'].startswith('前 00:00:0') and "
                              "v['text'].endswith(' 可播放'))"),
              "True");

    const auto text = test::Cli("scan " + card() + " --verify", dir_);
    EXPECT_NE(text.out.find("可播放"), std::string::npos);
    EXPECT_NE(text.out.find("全部 "), std::string::npos) << text.out;
}

TEST_F(VerifyCli, RecoverSavesOnlyWhatPlaysAndCountsFilesByWhatTheyAre) {
    const auto playable =
        test::Cli("recover " + card() + " --out " + ShellQuote((dir_ / "p").string()) +
                      " --select playable --json",
                  dir_);
    ASSERT_EQ(playable.exit_code, 0) << playable.err;
    EXPECT_EQ(Py(playable.out, "print([s['number'] for s in d['saved']])"), "['0', '2']");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "p"), fs::directory_iterator()), 2);

    // Without a check the grade still tells the damaged one apart.
    const auto all =
        test::Cli("recover " + card() + " --out " + ShellQuote((dir_ / "a").string()), dir_);
    EXPECT_EQ(all.exit_code, 3) << all.err;
    EXPECT_NE(all.out.find("完整 2 个, 不完整 1 个"), std::string::npos) << all.out;
    const auto checked = test::Cli("recover " + card() + " --out " +
                                       ShellQuote((dir_ / "v").string()) + " --verify --select 1,2",
                                   dir_);
    EXPECT_EQ(checked.exit_code, 3);
    EXPECT_NE(checked.out.find("完整 1 个, 不完整 1 个"), std::string::npos) << checked.out;
    EXPECT_NE(checked.out.find("可播放: 前 00:00:0"), std::string::npos) << checked.out;
}

// Where the decoder module is not installed a check cannot run: said before
// any work, nothing scanned or saved.
TEST_F(VerifyCli, WithoutTheDecoderACheckIsAnErrorBeforeAnyWork) {
    fs::create_directories(dir_ / "bin");
    fs::copy_file(TAV_CLI_EXE, dir_ / "bin" / "tavorine-mov-cli");
    const std::string lone = "TAVORINE_DECODER=/nonexistent/module.so " +
                             ShellQuote((dir_ / "bin" / "tavorine-mov-cli").string());
    for (const std::string args :
         {" scan " + card() + " --verify", " recover " + card() + " --select playable --out out"}) {
        const auto run = test::RunShell(lone + args, dir_.path());
        EXPECT_EQ(run.exit_code, 2) << args;
        EXPECT_NE(run.err.find("未安装解码模块，无法逐帧检查"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(fs::exists(dir_ / "out"));
}

}  // namespace
}  // namespace tav

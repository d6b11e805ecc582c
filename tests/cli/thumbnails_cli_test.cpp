// `tavorine-mov-cli scan --thumbnails DIR`: a JPEG per listed video, named
// like its saved file, never replacing one; a row whose first frame is
// damaged gets none and a line saying so.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "cardgen/mov_sample_reader.hpp"
#include "support/cards.hpp"
#include "support/shell_run.hpp"
#include "support/temp_dir.hpp"

namespace tav {
namespace {

namespace fs = std::filesystem;
using test::ShellQuote;

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// A copy of the raw card whose first whole-placed file has its first frame
// zeroed: still found and paired, but without a first picture. Answers the
// damaged file's start offset.
std::int64_t CardWithDamagedFirstFrame(const test::Card& card, const fs::path& out) {
    auto image = ReadBytes(card.image);
    for (const auto& f : card.with_state("placed")) {
        if (f.split) continue;
        const auto at = image.begin() + f.head_offset;
        const auto samples = cardgen::ReadVideoSamples(ByteView(&*at, f.length));
        if (!samples || samples->frames.empty()) continue;
        const auto& first = samples->frames.front();
        const auto found = std::search(at, at + f.head_length, first.begin(), first.end());
        if (found == at + f.head_length) continue;
        std::fill(found, found + static_cast<std::ptrdiff_t>(first.size()), 0);
        WriteBytes(out, image);
        return f.head_offset;
    }
    return -1;
}

class ThumbnailsCli : public ::testing::Test {
  protected:
    test::ShellResult Run(const std::string& line) { return test::RunShell(line, dir_.path()); }
    test::TempDir dir_;
};

TEST_F(ThumbnailsCli, OneJpegPerDecodableVideoNamedLikeItsFile) {
    const auto& card = test::GetCard("raw");
    ASSERT_TRUE(card.ok()) << card.error;
    const fs::path image = dir_ / "card.img";
    const std::int64_t damaged = CardWithDamagedFirstFrame(card, image);
    ASSERT_GE(damaged, 0);
    const fs::path thumbs = dir_ / "thumbs" / "new";  // made with its parent
    const std::string scan = ShellQuote(TAV_CLI_EXE) + " scan " + ShellQuote(image.string()) +
                             " --mode deep --thumbnails " + ShellQuote(thumbs.string());

    const auto json = Run(scan + " --json");
    ASSERT_EQ(json.exit_code, 0) << json.err;
    std::ofstream(dir_ / "doc.json", std::ios::binary) << json.out;
    EXPECT_NE(json.err.find(": 首帧无法解码"), std::string::npos) << json.err;
    // Per result: the damaged one (found by its start) has null, every other
    // names a JPEG in the folder, called like the .mov the save would write.
    const auto check = Run(
        "python3 -c " +
        ShellQuote(
            "import json,os,sys; d=json.load(open(sys.argv[2], encoding='utf-8'))\n"
            "rs=d['results']; bad=[r for r in rs if r['fragment_ranges'][0]['offset']==" +
            std::to_string(damaged) +
            "]\n"
            "good=[r for r in rs if r not in bad]\n"
            "assert len(bad)==1 and bad[0]['thumbnail'] is None, bad\n"
            "assert bad[0]['duration_ms'] is None and 'quality' in bad[0]\n"
            "for r in good:\n"
            "  t=r['thumbnail']; assert os.path.dirname(t)==sys.argv[1], t\n"
            "  assert os.path.basename(t).startswith('VYR-'+r['number']+'-'+r['frames']+'-'), t\n"
            "  assert t.endswith('.jpg') and os.path.isfile(t), t\n"
            "  assert abs(r['duration_ms'] - 40*r['frame_count']) <= 40, r\n"
            "print(len(good), len(os.listdir(sys.argv[1])))") +
        " " + ShellQuote(thumbs.string()) + " " + ShellQuote((dir_ / "doc.json").string()));
    ASSERT_EQ(check.exit_code, 0) << check.err;
    const std::size_t good = card.with_state("placed").size() - 1;
    EXPECT_EQ(check.out, std::to_string(good) + " " + std::to_string(good) + "\n");

    // Each is a real picture of the 320x240 clips.
    // In a subshell: RunShell's own redirections apply to the whole pipeline.
    const auto probe = Run("(for f in " + ShellQuote(thumbs.string()) +
                           "/*.jpg; do ffprobe -v error -show_entries stream=width,height "
                           "-of csv=p=0 \"$f\"; done | sort | uniq -c)");
    EXPECT_EQ(probe.out, "      " + std::to_string(good) + " 320,240\n") << probe.err;

    // Again into the same folder, as text: new names beside the old files.
    const auto text = Run(scan);
    ASSERT_EQ(text.exit_code, 0) << text.err;
    EXPECT_NE(text.out.find(" (2).jpg (时长 00:00:0"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find(": 首帧无法解码\n"), std::string::npos) << text.out;
    EXPECT_EQ(std::distance(fs::directory_iterator(thumbs), fs::directory_iterator()),
              static_cast<std::ptrdiff_t>(2 * good));
}

TEST_F(ThumbnailsCli, AFolderThatCannotBeMadeIsAnErrorBeforeTheScan) {
    WriteBytes(dir_ / "file", {1});
    const auto r = Run(ShellQuote(TAV_CLI_EXE) + " scan no-such.img --thumbnails " +
                       ShellQuote((dir_ / "file" / "sub").string()));
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err.rfind("tavorine-mov-cli: error: 无法创建缩略图文件夹 ", 0), 0u) << r.err;
}

}  // namespace
}  // namespace tav

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "cardgen/fnv_hash.hpp"
#include "cardgen/image_search.hpp"
#include "cardgen/manifest.hpp"
#include "cardgen/run_process.hpp"
#include "support/cards.hpp"
#include "support/temp_dir.hpp"

namespace tav::test {
namespace {

cardgen::ProcessResult Cardgen(std::vector<std::string> args) {
    args.insert(args.begin(), TAV_CARDGEN_EXE);
    return cardgen::RunProcess(args);
}

std::string ImageHash(const std::filesystem::path& path) {
    const cardgen::MappedImage image(path);
    return cardgen::FnvHex(image.bytes());
}

TEST(CardgenCli, WritesImageAndManifest) {
    TempDir dir;
    const auto img = dir / "card.img";
    const auto r = Cardgen({"raw", "--out", img.string(), "--seed", "3", "--files", "2",
                            "--synthetic", "--size-mib", "16", "--aud", "on", "--co64"});
    ASSERT_TRUE(r.ok()) << r.output;
    EXPECT_EQ(std::filesystem::file_size(img), 16u << 20);
    std::ifstream in(img.string() + ".manifest.json");
    std::stringstream text;
    text << in.rdbuf();
    const auto m = cardgen::ManifestFromJson(text.str());
    ASSERT_TRUE(m) << m.error();
    EXPECT_EQ(m->seed, 3u);
    EXPECT_EQ(m->image, "card.img");
    ASSERT_EQ(m->files.size(), 5u) << "two files, a split one and two orphans";
    for (const auto& f : m->files) {
        EXPECT_TRUE(f.aud && f.co64) << f.name;
        EXPECT_TRUE(f.last_frame_verifies) << f.name;
    }
}

TEST(CardgenCli, SameSeedSameImageOtherSeedOtherImage) {
    TempDir dir;
    const std::vector<std::string> common = {"--files", "1",        "--synthetic", "--size-mib",
                                             "4",       "--frames", "10"};
    for (const char* name : {"a.img", "b.img", "c.img"}) {
        std::vector<std::string> args = {"large", "--out", (dir / name).string(), "--seed",
                                         std::string(name) == "c.img" ? "9" : "8"};
        args.insert(args.end(), common.begin(), common.end());
        ASSERT_TRUE(Cardgen(args).ok());
    }
    EXPECT_EQ(ImageHash(dir / "a.img"), ImageHash(dir / "b.img"));
    EXPECT_NE(ImageHash(dir / "a.img"), ImageHash(dir / "c.img"));
}

TEST(CardgenCli, FatImagesAreReproducible) {
    TempDir dir;
    for (const char* name : {"a.img", "b.img"}) {
        const auto r = Cardgen(
            {"mbr", "--out", (dir / name).string(), "--seed", "4", "--files", "2", "--synthetic"});
        ASSERT_TRUE(r.ok()) << r.output;
    }
    EXPECT_EQ(ImageHash(dir / "a.img"), ImageHash(dir / "b.img"));
}

TEST(CardgenCli, HelpSucceedsAndErrorsNameTheirCause) {
    const auto help = Cardgen({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.output.find("--size-mib"), std::string::npos) << help.output;
    TempDir dir;
    const auto out = (dir / "x.img").string();
    const struct {
        std::vector<std::string> args;
        const char* named;  // what the error message must mention
    } bad[] = {
        {{}, "kind"},
        {{"raw"}, "--out"},
        {{"floppy", "--out", out}, "floppy"},
        {{"raw", "--out", out, "--aud", "maybe"}, "maybe"},
        {{"raw", "--out", out, "--files", "-1"}, "--files"},
        {{"raw", "--out", out, "--seed"}, "--seed"},
        {{"raw", "--out", out, "--clips", "phone"}, "phone"},
        {{"demo", "--out", out, "--clips", "other"}, "demo"},
        {{"raw", "--out", out, "--clips", "mixed", "--synthetic"}, "--synthetic"},
    };
    for (const auto& b : bad) {
        const auto r = Cardgen(b.args);
        EXPECT_EQ(r.exit_code, 2) << r.output;
        EXPECT_NE(r.output.find(b.named), std::string::npos) << r.output;
    }
}

TEST(CardgenCli, RejectsCardsThatCannotBeMade) {
    TempDir dir;
    const auto out = (dir / "x.img").string();
    EXPECT_EQ(Cardgen({"large", "--out", out, "--size-mib", "1", "--files", "3"}).exit_code, 2)
        << "files that do not fit are an error, not a silently short card";
    EXPECT_EQ(Cardgen({"raw", "--out", out, "--size-mib", "2", "--synthetic"}).exit_code, 2);
    const auto short_clips =
        Cardgen({"fat32-split", "--out", out, "--frames", "1", "--synthetic", "--files", "1"});
    EXPECT_EQ(short_clips.exit_code, 2) << "a clip of a cluster or two cannot lie in two runs";
    EXPECT_NE(short_clips.output.find("to split"), std::string::npos) << short_clips.output;
}

}  // namespace
}  // namespace tav::test

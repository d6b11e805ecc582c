// tavorine-cardgen KIND --out IMG [options]: writes a test card image and
// IMG.manifest.json describing every camera file on it.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <string>

#include "cardgen/card.hpp"

namespace {

using tav::cardgen::CardRequest;

void AddOptions(CLI::App& app, CardRequest& r) {
    app.add_option("kind", r.kind, "what to generate")
        ->required()
        ->check(CLI::IsMember(tav::cardgen::CardKinds()));
    app.add_option("--out", r.out, "the image to write (its manifest goes beside it)")->required();
    app.add_option("--seed", r.seed, "seed of the pseudo-random layout and filler");
    app.add_option("--files", r.files, "camera files (default: the kind's)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--frames", r.frames, "frames per file (default: the kind's)")
        ->check(CLI::PositiveNumber);
    app.add_option("--size-mib", r.size_mib,
                   "image size (raw, large) or volume size (FAT, split and huge kinds)")
        ->check(CLI::PositiveNumber);
    app.add_option("--aud", r.aud, "sound tracks: on, off or mixed")
        ->check(CLI::IsMember({"on", "off", "mixed"}));
    app.add_flag("--mdat64", r.mdat64, "64-bit mdat sizes on every file");
    app.add_flag("--co64", r.co64, "co64 chunk offsets instead of stco");
    app.add_flag("--zero-filler", r.zero_filler, "raw: zeros instead of pseudo-random filler");
    app.add_flag("--synthetic", r.synthetic, "synthetic frames instead of encoded H.264");
    app.add_flag("--no-fuse", r.no_fuse, "place bytes in free clusters even where FUSE works");
    app.add_option("--clips", r.clips,
                   "file layouts: camera (tagged), other (other cameras and phones) or mixed")
        ->check(CLI::IsMember({"camera", "other", "mixed"}));
    app.add_option("--big-clip-mib", r.big_clip_mib,
                   "huge-exfat: one more clip of this many MiB (over 4096: 64-bit sizes)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--clip-cache", r.clip_cache, "folder that caches encoded clips");
}

int Run(int argc, char** argv) {
    CLI::App app{"Writes a test card image and a manifest of the camera files on it",
                 "tavorine-cardgen"};
    app.set_version_flag("--version", std::string("tavorine-cardgen ") + TAVORINE_VERSION);
    CardRequest request;
    AddOptions(app, request);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }
    const auto manifest = tav::cardgen::GenerateCard(request);
    if (!manifest) {
        std::fprintf(stderr, "tavorine-cardgen: error: %s\n", manifest.error().c_str());
        return 2;
    }
    std::printf("%s: %s, %zu camera files, manifest %s\n", request.out.string().c_str(),
                manifest->kind.c_str(), manifest->files.size(),
                tav::cardgen::ManifestPathFor(request.out).string().c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tavorine-cardgen: error: %s\n", e.what());
    }
    return 2;
}

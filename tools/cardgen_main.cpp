// tavorine-cardgen KIND --out IMG [options]: writes a test card image and
// IMG.manifest.json describing every camera file on it.

#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "cardgen/card.hpp"

namespace {

using tav::cardgen::CardRequest;

constexpr const char* kUsage =
    "usage: tavorine-cardgen KIND --out IMG [--seed N] [--files N] [--frames N]\n"
    "                        [--size-mib N] [--aud on|off|mixed] [--mdat64] [--co64]\n"
    "                        [--zero-filler] [--synthetic] [--no-fuse] [--clip-cache DIR]\n"
    "kinds: raw fat32-deleted fat32-formatted ntfs-deleted mbr demo large\n";

template <typename T>
bool ParseNumber(std::string_view text, T& out) {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

bool ParseOption(CardRequest& r, std::string_view name, const char* value) {
    if (!value) return false;
    const std::string_view v = value;
    if (name == "--out") return r.out = value, true;
    if (name == "--seed") return ParseNumber(v, r.seed);
    if (name == "--files") return ParseNumber(v, r.files) && r.files >= 0;
    if (name == "--frames") return ParseNumber(v, r.frames) && r.frames > 0;
    if (name == "--size-mib") return ParseNumber(v, r.size_mib) && r.size_mib > 0;
    if (name == "--clip-cache") return r.clip_cache = value, true;
    if (name == "--aud") return r.aud = value, v == "on" || v == "off" || v == "mixed";
    return false;
}

std::optional<CardRequest> ParseArgs(int argc, char** argv) {
    if (argc < 2) return std::nullopt;
    CardRequest r;
    r.kind = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--mdat64")
            r.mdat64 = true;
        else if (a == "--co64")
            r.co64 = true;
        else if (a == "--zero-filler")
            r.zero_filler = true;
        else if (a == "--synthetic")
            r.synthetic = true;
        else if (a == "--no-fuse")
            r.no_fuse = true;
        else if (!ParseOption(r, a, i + 1 < argc ? argv[++i] : nullptr)) {
            std::fprintf(stderr, "tavorine-cardgen: error: bad option %s\n", argv[i]);
            return std::nullopt;
        }
    }
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const auto request = ParseArgs(argc, argv);
    if (!request || request->out.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const auto manifest = tav::cardgen::GenerateCard(*request);
    if (!manifest) {
        std::fprintf(stderr, "tavorine-cardgen: error: %s\n", manifest.error().c_str());
        return 2;
    }
    std::printf("%s: %s, %zu camera files, manifest %s\n", request->out.string().c_str(),
                manifest->kind.c_str(), manifest->files.size(),
                tav::cardgen::ManifestPathFor(request->out).string().c_str());
    return 0;
}

#include "cardgen/card.hpp"

#include <fstream>
#include <system_error>

namespace tav::cardgen {

namespace fs = std::filesystem;

const std::vector<std::string>& CardKinds() {
    static const std::vector<std::string> kinds = {
        "raw",          "fat32-deleted", "fat32-formatted",
        "ntfs-deleted", "mbr",           "demo",
        "large",        "fat16-deleted", "fat32-4k",
        "ntfs-4k",      "exfat-deleted", "mbr-exfat",
        "sound",        "fat32-split",   "fat32-split-formatted",
        "exfat-split",  "ntfs-split",    "lost-header",
        "huge-exfat"};
    return kinds;
}

bool TakesOtherClips(const std::string& kind) {
    // demo keeps its three camera videos; large, sound and huge-exfat are
    // built of synthetic frames or of the camera's PCM layouts.
    return kind != "demo" && kind != "large" && kind != "sound" && kind != "huge-exfat";
}

namespace {

std::expected<Manifest, std::string> Dispatch(const CardRequest& r) {
    if (r.kind == "raw" || r.kind == "sound") return GenerateRawCard(r);
    if (r.kind == "large") return GenerateLargeCard(r);
    if (r.kind == "fat32-deleted" || r.kind == "fat32-formatted" || r.kind == "mbr" ||
        r.kind == "demo" || r.kind == "fat16-deleted" || r.kind == "fat32-4k")
        return GenerateFatCard(r);
    if (r.kind == "ntfs-deleted" || r.kind == "ntfs-4k") return GenerateNtfsCard(r);
    if (r.kind == "exfat-deleted" || r.kind == "mbr-exfat") return GenerateExfatCard(r);
    if (r.kind.ends_with("-split") || r.kind == "fat32-split-formatted")
        return GenerateSplitCard(r);
    if (r.kind == "lost-header") return GenerateLostHeaderCard(r);
    if (r.kind == "huge-exfat") return GenerateHugeExfatCard(r);
    return std::unexpected("unknown kind: " + r.kind);
}

}  // namespace

std::expected<Manifest, std::string> GenerateCard(const CardRequest& request) {
    if (request.out.empty()) return std::unexpected("no output image given");
    if (request.clips != "camera" && !TakesOtherClips(request.kind))
        return std::unexpected("--clips " + request.clips + " does not apply to " + request.kind);
    if (request.clips != "camera" && request.synthetic)
        return std::unexpected("--clips " + request.clips +
                               " needs encoded clips, not --synthetic");
    auto manifest = Dispatch(request);
    if (!manifest) return manifest;
    manifest->kind = request.kind;
    manifest->seed = request.seed;
    manifest->image = request.out.filename().string();
    std::error_code ec;
    manifest->image_size = static_cast<std::int64_t>(fs::file_size(request.out, ec));
    if (ec) return std::unexpected("cannot measure " + request.out.string());

    // The manifest appears last and whole: its presence marks a finished image.
    const fs::path path = ManifestPathFor(request.out);
    const fs::path temp = fs::path(path.string() + ".tmp");
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << ManifestToJson(*manifest);
        if (!out.flush()) return std::unexpected("cannot write " + temp.string());
    }
    fs::rename(temp, path, ec);
    if (ec) return std::unexpected("cannot write " + path.string() + ": " + ec.message());
    return manifest;
}

}  // namespace tav::cardgen

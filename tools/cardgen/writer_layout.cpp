#include "cardgen/writer_layout.hpp"

namespace tav::cardgen {

const std::vector<WriterLayout>& WriterLayouts() {
    using L = Lead;
    using V = VideoCodec;
    using S = SoundCodec;
    using D = DateTag;
    // brand, lead, moov_first, mdat64, video, sound, sound_last, date tag, UTC offset
    static const std::vector<WriterLayout> layouts = {
        {"isom", L::kNone, true, false, V::kAvc, S::kAac, true, D::kUdtaDay, 480},
        {"mp42", L::kWide8, false, true, V::kHevc, S::kPcm, false, D::kNone, 0},
        {"qt  ", L::kFreeKib, true, true, V::kAvc, S::kNone, false, D::kMetaCreationDate, -300},
        {"isom", L::kUuid, false, false, V::kHevc, S::kAac, false, D::kNone, 0},
        {"qt  ", L::kFree8, false, false, V::kAvc, S::kAac, true, D::kUdtaDay, 120},
    };
    return layouts;
}

std::vector<std::string> CompatibleBrands(std::string_view major) {
    if (major == "isom") return {"isom", "iso2", "avc1", "mp41"};
    if (major == "mp42") return {"mp42", "isom"};
    return {std::string(major)};
}

std::string ExtensionForBrand(std::string_view major) {
    if (major == "qt  ") return ".mov";
    if (major == "M4V ") return ".m4v";
    if (major.starts_with("3gp")) return ".3gp";
    return ".mp4";  // isom, iso2.., mp41, mp42, avc1
}

const char* VideoFourcc(VideoCodec codec) {
    return codec == VideoCodec::kHevc ? "hvc1" : "avc1";
}

}  // namespace tav::cardgen

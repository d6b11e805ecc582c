#pragma once
// How cameras and phones other than the tagging camera lay out a clip: the
// brand, what lies before the media data, where the movie atom goes, the
// codecs, and where the shooting time is written.

#include <string>
#include <string_view>
#include <vector>

namespace tav::cardgen {

enum class Lead { kNone, kFree8, kWide8, kFreeKib, kUuid };  // top-level atom before the media
enum class VideoCodec { kAvc, kHevc };
enum class SoundCodec { kNone, kPcm, kAac };
enum class DateTag { kNone, kUdtaDay, kMetaCreationDate };  // besides the movie header's time

struct WriterLayout {
    std::string brand = "isom";  // major brand
    Lead lead = Lead::kNone;
    bool moov_first = false;  // ftyp, [lead], moov, mdat; else ftyp, [lead], mdat, moov
    bool mdat64 = false;
    VideoCodec video = VideoCodec::kAvc;
    SoundCodec sound = SoundCodec::kNone;
    bool sound_last = false;  // each sound chunk after its video frame: the file ends in sound
    DateTag date_tag = DateTag::kNone;
    int utc_offset_minutes = 0;  // of the local time in the date tag
};

// The layouts a card's other-writer files cycle through, in order; the first
// four already cover every brand, lead kind, codec, sound and date tag.
const std::vector<WriterLayout>& WriterLayouts();
inline const WriterLayout& WriterLayoutFor(int n) {
    const auto& all = WriterLayouts();
    return all[static_cast<std::size_t>(n) % all.size()];
}

// The brands a layout's ftyp lists as compatible, major brand first.
std::vector<std::string> CompatibleBrands(std::string_view major);

// The file name extension a recovered file with this major brand should get.
std::string ExtensionForBrand(std::string_view major);

const char* VideoFourcc(VideoCodec codec);  // "avc1", "hvc1"

}  // namespace tav::cardgen

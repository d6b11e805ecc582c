#include "scan/fragmented_movie.hpp"

#include <array>
#include <string_view>
#include <vector>

#include "scan/atom_tree.hpp"

namespace tav {

namespace {

// A fragment's header holds its tables; far larger is no writer's.
constexpr std::uint64_t kMostFragmentHeaderBytes = 16u << 20;
constexpr int kMostAtoms = 1 << 20;

bool FileLevel(std::string_view type) {
    for (const std::string_view t : {"ftyp", "moov", "moof", "mdat", "free", "skip", "wide", "uuid",
                                     "styp", "sidx", "ssix", "prft", "emsg", "meta", "mfra"})
        if (type == t) return true;
    return false;
}

// The track ID of the movie's first video track.
std::optional<std::uint32_t> VideoTrackId(ByteView moov) {
    for (const Atom& trak : Children(moov.sub(8), "trak")) {
        const Atom hdlr = Path(trak.body, {"mdia", "hdlr"});
        const Atom tkhd = Child(trak.body, "tkhd");
        if (!hdlr.found || !tkhd.found || !hdlr.body.matches(8, "vide")) continue;
        const auto version = tkhd.body.u8(0);
        if (!version) return std::nullopt;
        return tkhd.body.be32(*version == 1 ? 20 : 12);
    }
    return std::nullopt;
}

// The video samples a fragment header's runs hold.
std::uint64_t FragmentFrames(ByteView moof_body, std::uint32_t video) {
    std::uint64_t frames = 0;
    for (const Atom& traf : Children(moof_body, "traf")) {
        const Atom tfhd = Child(traf.body, "tfhd");
        if (!tfhd.found || tfhd.body.be32(4) != std::optional<std::uint32_t>(video)) continue;
        for (const Atom& trun : Children(traf.body, "trun"))
            frames += trun.body.be32(4).value_or(0);
    }
    return frames;
}

}  // namespace

bool AnnouncesFragments(ByteView moov) {
    return Child(moov.sub(8), "mvex").found;
}

std::optional<FragmentedFile> WalkFragmentedFile(const SourceReader& source, std::int64_t head,
                                                 ByteView moov) {
    const auto video = VideoTrackId(moov);
    const std::int64_t end = source.size();
    if (head < 0 || end <= head) return std::nullopt;
    FragmentedFile file;
    bool past_movie = false;
    std::int64_t at = head;
    for (int n = 0; n < kMostAtoms && end - at >= 8; ++n) {
        std::array<std::uint8_t, 16> field{};
        if (!source.read_at(at, field).clean()) break;
        const ByteView h(field);
        const std::string_view type(reinterpret_cast<const char*>(field.data()) + 4, 4);
        std::uint64_t size = h.be32(0).value_or(0);
        if (size == 1) size = h.be64(8).value_or(0);
        const std::uint64_t least = h.be32(0) == std::optional<std::uint32_t>(1) ? 16 : 8;
        if (!FileLevel(type) || (n == 0) != (type == "ftyp") || size < least ||
            size > static_cast<std::uint64_t>(end - at))
            break;
        if (type == "moov") past_movie = true;
        if (type == "moof" && video && size <= kMostFragmentHeaderBytes) {
            std::vector<std::uint8_t> body(static_cast<std::size_t>(size - least));
            if (source.read_at(at + static_cast<std::int64_t>(least), body).clean())
                file.frames += FragmentFrames(ByteView(body), *video);
        }
        at += static_cast<std::int64_t>(size);
        file.length = at - head;
        if (type == "mfra") {
            file.indexed = true;
            break;
        }
    }
    if (!past_movie) return std::nullopt;
    return file;
}

}  // namespace tav

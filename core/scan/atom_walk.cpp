#include "scan/atom_walk.hpp"

#include <array>
#include <string_view>

#include "scan/scan_geometry.hpp"

namespace tav {

namespace {

constexpr std::array<std::string_view, 6> kDescend = {"moov", "trak", "mdia",
                                                      "minf", "stbl", "udta"};
constexpr std::array<std::string_view, 28> kSkip = {
    "ftyp", "stsz", "stco", "co64", "mvhd", "tkhd", "tref", "tapt", "clip", "matt",
    "edts", "meta", "mdhd", "hdlr", "imap", "vmhd", "smhd", "dinf", "stsd", "stts",
    "stss", "stps", "ctts", "cslg", "stsc", "txas", "CNCV", "CNMN"};

template <std::size_t N>
bool OneOf(ByteView type, const std::array<std::string_view, N>& names) {
    for (auto name : names)
        if (type.matches(0, name)) return true;
    return false;
}

constexpr std::int64_t kAtomHeader = 8;

// Applies the effects of one recognised atom at `start` with `size` on the
// header info; true when the walk ends here.
bool Record(ByteView type, std::int64_t start, std::int64_t size, HeaderInfo& info,
            bool large_file_only) {
    if (type.matches(0, "moov") || type.matches(0, "ftyp")) {
        info.EndType = type.matches(0, "moov") ? "moov" : "ftyp";
        info.EndOffset = start + size;
    } else if (type.matches(0, "stsz")) {
        if (info.StszOffset == 0) info.StszOffset = start;
    } else if (type.matches(0, "stco") || type.matches(0, "co64")) {
        if (info.StcoOffset == 0) info.StcoOffset = start;
        if (large_file_only && type.matches(0, "stco")) {
            info.EndType.clear();
            return true;
        }
    }
    return false;
}

}  // namespace

AtomAction ClassifyAtom(ByteView type) {
    if (OneOf(type, kDescend)) return AtomAction::Descend;
    if (type.matches(0, "CNMN")) return AtomAction::SkipAndEnd;
    if (OneOf(type, kSkip)) return AtomAction::Skip;
    return AtomAction::Stop;
}

WalkOutcome WalkWindow(ByteView window, std::int64_t window_start, std::int64_t& p,
                       HeaderInfo& info, bool large_file_only) {
    while (p < static_cast<std::int64_t>(kStepBytes)) {
        const auto at = static_cast<std::size_t>(p);
        const auto size32 = window.be32(at);
        const ByteView type = window.sub(at + 4, 4);
        if (!size32 || type.size() < 4) return WalkOutcome::End;
        const AtomAction action = ClassifyAtom(type);
        if (action == AtomAction::Stop) return WalkOutcome::End;
        // A recognised atom smaller than its own header would not move the
        // walk; such bytes are no header we can follow.
        const auto size = static_cast<std::int64_t>(*size32);
        if (size < kAtomHeader) return WalkOutcome::End;
        if (Record(type, window_start + p, size, info, large_file_only)) return WalkOutcome::End;
        if (action == AtomAction::SkipAndEnd) return WalkOutcome::End;
        p += action == AtomAction::Descend ? kAtomHeader : size;
    }
    return WalkOutcome::NextWindow;
}

}  // namespace tav

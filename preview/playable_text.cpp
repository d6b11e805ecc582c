#include "playable_text.hpp"

#include "duration_label.hpp"

namespace tav::preview {

namespace {

std::string Frames(const Verification& v) {
    return std::to_string(v.frames_decoded) + "/" + std::to_string(v.frames_listed) + " 帧";
}

std::string SoundNote(const Verification& v) {
    return v.sound == SoundCheck::Damaged ? "，声音无法解码" : "";
}

std::string FailureText(PreviewFailure kind) {
    switch (kind) {
        case PreviewFailure::CannotDecode:
            return "无法解码";
        case PreviewFailure::SourceUnreadable:
            return "无法打开源盘";
        case PreviewFailure::BadFragments:
            return "碎片列表无效";
        case PreviewFailure::NoDecoder:
            return "未安装解码模块";
        case PreviewFailure::NoRebuiltHeader:
            return "需先用参考文件重建文件头";
    }
    return "无法解码";
}

}  // namespace

PreviewError UnplannedRow(bool rebuilt_row, std::string detail) {
    return {rebuilt_row ? PreviewFailure::NoRebuiltHeader : PreviewFailure::BadFragments,
            std::move(detail)};
}

std::string PlayableText(const std::expected<Verification, PreviewError>& check) {
    if (!check) return FailureText(check.error().kind);
    const Verification& v = *check;
    if (v.end == VerifyEnd::Stopped) return "";
    if (v.end == VerifyEnd::CannotDecode || v.frames_decoded == 0) return "无法解码";
    const std::string cut = v.end == VerifyEnd::TimedOut ? "检查超时，" : "";
    if (v.all_frames()) return cut + "全部 " + Frames(v) + SoundNote(v);
    // Plays from its start up to the first frame that fails.
    if (v.first_bad_seconds && *v.first_bad_seconds >= 1.0)
        return cut + "前 " + ClockText(*v.first_bad_seconds) + " 可播放" + SoundNote(v);
    return cut + "部分可播放 " + Frames(v) + SoundNote(v);
}

}  // namespace tav::preview

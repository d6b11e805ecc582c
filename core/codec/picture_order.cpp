#include "codec/picture_order.hpp"

#include <algorithm>
#include <map>
#include <numeric>
#include <utility>

#include "codec/rbsp_bits.hpp"

namespace tav {

namespace {

using Set = std::vector<std::uint8_t>;

struct SeqRules {
    unsigned max_frame_num_bits = 0;  // H.264
    std::uint32_t poc_type = 0;       // H.264; HEVC counts as type 0
    unsigned poc_lsb_bits = 0;
    bool frame_mbs_only = true;  // H.264
    bool separate_planes = false;
};

struct PicRules {
    std::uint32_t sps_id = 0;
    bool output_flag = false;       // HEVC
    unsigned extra_slice_bits = 0;  // HEVC
};

struct Rules {
    std::map<std::uint32_t, SeqRules> sps;
    std::map<std::uint32_t, PicRules> pps;
};

bool SkipScalingList(RbspBits& r, int size) {
    int last = 8, next = 8;
    for (int j = 0; j < size; ++j) {
        if (next != 0) {
            const auto delta = r.se();
            if (!delta) return false;
            next = (last + *delta + 256) % 256;
        }
        last = next == 0 ? last : next;
    }
    return true;
}

bool ReadH264Sps(ByteView unit, Rules& rules) {
    RbspBits r(unit.sub(1));
    const auto profile = r.bits(8);
    if (!profile || !r.skip(16)) return false;
    const auto id = r.ue();
    if (!id || *id > 31) return false;
    SeqRules s;
    static constexpr std::uint32_t kHigh[] = {100, 110, 122, 244, 44,  83, 86,
                                              118, 128, 138, 139, 134, 135};
    if (std::find(std::begin(kHigh), std::end(kHigh), *profile) != std::end(kHigh)) {
        const auto chroma = r.ue();
        if (!chroma) return false;
        if (*chroma == 3) {
            const auto separate = r.bits(1);
            if (!separate) return false;
            s.separate_planes = *separate == 1;
        }
        if (!r.ue() || !r.ue() || !r.skip(1)) return false;
        const auto matrix = r.bits(1);
        if (!matrix) return false;
        if (*matrix)
            for (int i = 0; i < (*chroma != 3 ? 8 : 12); ++i) {
                const auto present = r.bits(1);
                if (!present || (*present && !SkipScalingList(r, i < 6 ? 16 : 64))) return false;
            }
    }
    const auto frame_num = r.ue();
    const auto poc_type = r.ue();
    if (!frame_num || *frame_num > 12 || !poc_type || *poc_type > 2) return false;
    s.max_frame_num_bits = *frame_num + 4;
    s.poc_type = *poc_type;
    if (s.poc_type == 0) {
        const auto lsb = r.ue();
        if (!lsb || *lsb > 12) return false;
        s.poc_lsb_bits = *lsb + 4;
    } else if (s.poc_type == 1) {
        if (!r.skip(1) || !r.se() || !r.se()) return false;
        const auto cycle = r.ue();
        if (!cycle || *cycle > 255) return false;
        for (std::uint32_t k = 0; k < *cycle; ++k)
            if (!r.se()) return false;
    }
    if (!r.ue() || !r.skip(1) || !r.ue() || !r.ue()) return false;
    const auto frames_only = r.bits(1);
    if (!frames_only) return false;
    s.frame_mbs_only = *frames_only == 1;
    rules.sps[*id] = s;
    return true;
}

bool ReadH264Pps(ByteView unit, Rules& rules) {
    RbspBits r(unit.sub(1));
    const auto id = r.ue();
    const auto sps = r.ue();
    if (!id || *id > 255 || !sps) return false;
    rules.pps[*id] = PicRules{*sps};
    return true;
}

bool SkipProfileTierLevel(RbspBits& r, unsigned sub_layers) {
    if (!r.skip(96)) return false;
    std::vector<std::pair<bool, bool>> present(sub_layers);
    for (auto& [profile, level] : present) {
        const auto p = r.bits(1), l = r.bits(1);
        if (!p || !l) return false;
        profile = *p == 1, level = *l == 1;
    }
    if (sub_layers > 0 && !r.skip(2 * (8 - sub_layers))) return false;
    for (const auto& [profile, level] : present)
        if ((profile && !r.skip(88)) || (level && !r.skip(8))) return false;
    return true;
}

bool ReadHevcSps(ByteView unit, Rules& rules) {
    RbspBits r(unit.sub(2));
    if (!r.skip(4)) return false;
    const auto sub_layers = r.bits(3);
    if (!sub_layers || !r.skip(1) || !SkipProfileTierLevel(r, *sub_layers)) return false;
    const auto id = r.ue();
    const auto chroma = r.ue();
    if (!id || *id > 15 || !chroma) return false;
    SeqRules s;
    if (*chroma == 3) {
        const auto separate = r.bits(1);
        if (!separate) return false;
        s.separate_planes = *separate == 1;
    }
    if (!r.ue() || !r.ue()) return false;
    const auto window = r.bits(1);
    if (!window) return false;
    if (*window)
        for (int k = 0; k < 4; ++k)
            if (!r.ue()) return false;
    if (!r.ue() || !r.ue()) return false;
    const auto lsb = r.ue();
    if (!lsb || *lsb > 12) return false;
    s.poc_lsb_bits = *lsb + 4;
    rules.sps[*id] = s;
    return true;
}

bool ReadHevcPps(ByteView unit, Rules& rules) {
    RbspBits r(unit.sub(2));
    const auto id = r.ue();
    const auto sps = r.ue();
    if (!id || *id > 63 || !sps || !r.skip(1)) return false;
    const auto output = r.bits(1);
    const auto extra = r.bits(3);
    if (!output || !extra) return false;
    rules.pps[*id] = PicRules{*sps, *output == 1, *extra};
    return true;
}

// One picture's place in its coded sequence.
struct Picture {
    bool new_sequence = false;  // the count starts again here
    std::int64_t lsb = 0;
    bool keeps_count = false;  // later pictures count on from it
    unsigned lsb_bits = 0;
};

const SeqRules* SeqOf(const Rules& rules, std::uint32_t pps_id) {
    const auto pps = rules.pps.find(pps_id);
    if (pps == rules.pps.end()) return nullptr;
    const auto sps = rules.sps.find(pps->second.sps_id);
    return sps == rules.sps.end() ? nullptr : &sps->second;
}

std::optional<Picture> ReadH264Slice(ByteView unit, const Rules& rules, bool& shown_as_decoded) {
    const auto head = unit.u8(0);
    if (!head) return std::nullopt;
    const unsigned type = *head & 0x1F, ref_idc = (*head >> 5) & 3;
    if (type != 1 && type != 5) return std::nullopt;
    RbspBits r(unit.sub(1));
    if (!r.ue() || !r.ue()) return std::nullopt;
    const auto pps_id = r.ue();
    const SeqRules* s = pps_id ? SeqOf(rules, *pps_id) : nullptr;
    if (!s) return std::nullopt;
    // Type 2 shows pictures as they are decoded; type 1 (counts from
    // cycles of offsets) no camera writes, and it is not worked out here.
    if (s->poc_type == 1) return std::nullopt;
    if (s->poc_type == 2) {
        shown_as_decoded = true;
        return Picture{};
    }
    if ((s->separate_planes && !r.skip(2)) || !r.skip(s->max_frame_num_bits)) return std::nullopt;
    if (!s->frame_mbs_only) {
        const auto field = r.bits(1);
        if (!field || (*field && !r.skip(1))) return std::nullopt;
    }
    if (type == 5 && !r.ue()) return std::nullopt;
    const auto lsb = r.bits(s->poc_lsb_bits);
    if (!lsb) return std::nullopt;
    return Picture{type == 5, *lsb, ref_idc != 0, s->poc_lsb_bits};
}

std::optional<Picture> ReadHevcSlice(ByteView unit, const Rules& rules, bool first_picture) {
    const auto b0 = unit.u8(0), b1 = unit.u8(1);
    if (!b0 || !b1) return std::nullopt;
    const unsigned type = (*b0 >> 1) & 0x3F, temporal_id = (*b1 & 7u) - 1;
    if (type > 21 || (type > 9 && type < 16)) return std::nullopt;
    RbspBits r(unit.sub(2));
    const auto first = r.bits(1);
    if (!first || *first != 1) return std::nullopt;
    const bool irap = type >= 16;
    if (irap && !r.skip(1)) return std::nullopt;
    const auto pps_id = r.ue();
    if (!pps_id) return std::nullopt;
    const auto pps = rules.pps.find(*pps_id);
    const SeqRules* s = SeqOf(rules, *pps_id);
    if (!s || !r.skip(pps->second.extra_slice_bits) || !r.ue()) return std::nullopt;
    if ((pps->second.output_flag && !r.skip(1)) || (s->separate_planes && !r.skip(2)))
        return std::nullopt;
    const bool idr = type == 19 || type == 20;
    std::int64_t lsb = 0;
    if (!idr) {
        const auto bits = r.bits(s->poc_lsb_bits);
        if (!bits) return std::nullopt;
        lsb = *bits;
    }
    // A broken-link or leading-free start, or a clean random access that
    // begins the stream, starts the count again.
    const bool restart = idr || (type >= 16 && type <= 18) || (type == 21 && first_picture);
    // Sub-layer non-reference pictures (even types below 16) and leading
    // pictures do not carry the count on.
    const bool keeps = temporal_id == 0 && !(type <= 14 && type % 2 == 0) && (type < 6 || type > 9);
    return Picture{restart, lsb, keeps, s->poc_lsb_bits};
}

}  // namespace

std::optional<CompositionOffsets> ComposeOrder(VideoCodec codec, const std::vector<Set>& sps,
                                               const std::vector<Set>& pps,
                                               const std::vector<Set>& first_slices) {
    Rules rules;
    const bool hevc = codec == VideoCodec::Hevc;
    for (const Set& s : sps)
        if (!(hevc ? ReadHevcSps(ByteView(s), rules) : ReadH264Sps(ByteView(s), rules)))
            return std::nullopt;
    for (const Set& p : pps)
        if (!(hevc ? ReadHevcPps(ByteView(p), rules) : ReadH264Pps(ByteView(p), rules)))
            return std::nullopt;

    // (sequence, picture order count) per picture in decoding order.
    std::vector<std::pair<std::int64_t, std::int64_t>> keys;
    keys.reserve(first_slices.size());
    std::int64_t sequence = -1, prev_msb = 0, prev_lsb = 0;
    bool shown_as_decoded = false;
    for (const Set& slice : first_slices) {
        const ByteView unit(slice);
        const auto pic = hevc ? ReadHevcSlice(unit, rules, keys.empty())
                              : ReadH264Slice(unit, rules, shown_as_decoded);
        if (!pic) return std::nullopt;
        if (shown_as_decoded)
            return CompositionOffsets{std::vector<std::uint32_t>(first_slices.size()), 0};
        const std::int64_t max = std::int64_t{1} << pic->lsb_bits;
        if (pic->new_sequence || sequence < 0) {
            ++sequence;
            prev_msb = prev_lsb = 0;
        }
        std::int64_t msb = prev_msb;
        if (!pic->new_sequence) {
            if (pic->lsb < prev_lsb && prev_lsb - pic->lsb >= max / 2)
                msb = prev_msb + max;
            else if (pic->lsb > prev_lsb && pic->lsb - prev_lsb > max / 2)
                msb = prev_msb - max;
        } else {
            msb = 0;
        }
        keys.emplace_back(sequence, msb + pic->lsb);
        if (pic->keeps_count || pic->new_sequence) prev_msb = msb, prev_lsb = pic->lsb;
    }

    std::vector<std::size_t> shown(keys.size());
    std::iota(shown.begin(), shown.end(), std::size_t{0});
    std::stable_sort(shown.begin(), shown.end(),
                     [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    std::vector<std::int64_t> rank(keys.size());
    for (std::size_t k = 0; k < shown.size(); ++k) rank[shown[k]] = static_cast<std::int64_t>(k);
    std::int64_t delay = 0;
    for (std::size_t k = 0; k < rank.size(); ++k)
        delay = std::max(delay, static_cast<std::int64_t>(k) - rank[k]);
    CompositionOffsets out;
    out.delay = static_cast<std::uint32_t>(delay);
    out.frames.reserve(rank.size());
    for (std::size_t k = 0; k < rank.size(); ++k)
        out.frames.push_back(
            static_cast<std::uint32_t>(rank[k] - static_cast<std::int64_t>(k) + delay));
    return out;
}

}  // namespace tav

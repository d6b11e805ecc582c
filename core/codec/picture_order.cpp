#include "codec/picture_order.hpp"

#include <algorithm>
#include <map>
#include <memory>
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
    unsigned max_temporal_id = 0;  // HEVC: sub-layers above the first
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

// One flag bit into out; false when the bits ran out.
bool Flag(RbspBits& r, bool& out) {
    const auto bit = r.bits(1);
    if (bit) out = *bit == 1;
    return bit.has_value();
}

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
        if (*chroma == 3 && !Flag(r, s.separate_planes)) return false;
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
    if (!Flag(r, s.frame_mbs_only)) return false;
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
    s.max_temporal_id = *sub_layers;
    if (*chroma == 3 && !Flag(r, s.separate_planes)) return false;
    if (!r.ue() || !r.ue()) return false;
    bool window = false;
    if (!Flag(r, window)) return false;
    for (int k = 0; window && k < 4; ++k)
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
    bool output = false;
    const bool read = Flag(r, output);
    const auto extra = r.bits(3);
    if (!read || !extra) return false;
    rules.pps[*id] = PicRules{*sps, output, *extra};
    return true;
}

const SeqRules* SeqOf(const Rules& rules, std::uint32_t pps_id) {
    const auto pps = rules.pps.find(pps_id);
    if (pps == rules.pps.end()) return nullptr;
    const auto sps = rules.sps.find(pps->second.sps_id);
    return sps == rules.sps.end() ? nullptr : &sps->second;
}

std::optional<SliceNumbers> ReadH264Slice(ByteView unit, const Rules& rules) {
    const auto head = unit.u8(0);
    if (!head) return std::nullopt;
    const unsigned type = *head & 0x1F, ref_idc = (*head >> 5) & 3;
    if (type != 1 && type != 5) return std::nullopt;
    RbspBits r(unit.sub(1));
    const auto first_mb = r.ue();
    const auto slice_type = r.ue();
    const auto pps_id = r.ue();
    if (!first_mb || *first_mb != 0 || !slice_type || *slice_type > 9 || !pps_id)
        return std::nullopt;
    const SeqRules* s = SeqOf(rules, *pps_id);
    if (!s || (s->separate_planes && !r.skip(2))) return std::nullopt;
    SliceNumbers n;
    n.restart = type == 5;
    n.reference = ref_idc != 0;
    const auto frame_num = r.bits(s->max_frame_num_bits);
    if (!frame_num) return std::nullopt;
    n.frame_num = *frame_num;
    n.max_frame_num = 1u << s->max_frame_num_bits;
    n.shown_as_decoded = s->poc_type == 2;
    // Type 1 (counts from cycles of offsets) no camera writes; its order is
    // not worked out.
    if (s->poc_type != 0) return n;
    if (!s->frame_mbs_only) {
        const auto field = r.bits(1);
        if (!field || (*field && !r.skip(1))) return std::nullopt;
    }
    if (type == 5 && !r.ue()) return std::nullopt;
    const auto lsb = r.bits(s->poc_lsb_bits);
    if (!lsb) return std::nullopt;
    n.poc_lsb = *lsb;
    n.poc_lsb_bits = s->poc_lsb_bits;
    n.keeps_count = n.reference;
    return n;
}

std::optional<SliceNumbers> ReadHevcSlice(ByteView unit, const Rules& rules) {
    const auto b0 = unit.u8(0), b1 = unit.u8(1);
    if (!b0 || !b1 || (*b1 & 7u) == 0) return std::nullopt;
    const unsigned type = (*b0 >> 1) & 0x3F, temporal_id = (*b1 & 7u) - 1;
    const unsigned layer = ((*b0 & 1u) << 5) | (*b1 >> 3);
    if (layer != 0 || type > 21 || (type > 9 && type < 16)) return std::nullopt;
    RbspBits r(unit.sub(2));
    const auto first = r.bits(1);
    if (!first || *first != 1) return std::nullopt;
    const bool irap = type >= 16;
    if (irap && !r.skip(1)) return std::nullopt;
    const auto pps_id = r.ue();
    if (!pps_id) return std::nullopt;
    const auto pps = rules.pps.find(*pps_id);
    const SeqRules* s = SeqOf(rules, *pps_id);
    if (!s || temporal_id > s->max_temporal_id || !r.skip(pps->second.extra_slice_bits))
        return std::nullopt;
    const auto slice_type = r.ue();
    if (!slice_type || *slice_type > 2) return std::nullopt;
    if ((pps->second.output_flag && !r.skip(1)) || (s->separate_planes && !r.skip(2)))
        return std::nullopt;
    SliceNumbers n;
    const bool idr = type == 19 || type == 20;
    n.poc_lsb = 0;
    if (!idr) {
        const auto bits = r.bits(s->poc_lsb_bits);
        if (!bits) return std::nullopt;
        n.poc_lsb = *bits;
    }
    n.poc_lsb_bits = s->poc_lsb_bits;
    // A broken-link or leading-free start restarts the count; so does a
    // clean random access that begins the stream.
    n.restart = idr || (type >= 16 && type <= 18);
    n.clean_random_access = type == 21;
    // Sub-layer non-reference pictures (even types below 16) and leading
    // pictures do not carry the count on.
    n.keeps_count = temporal_id == 0 && !(type <= 14 && type % 2 == 0) && (type < 6 || type > 9);
    n.reference = true;
    return n;
}

}  // namespace

struct SliceReader::Sets : Rules {};

std::optional<SliceReader> SliceReader::FromSets(VideoCodec codec, const std::vector<Set>& sps,
                                                 const std::vector<Set>& pps) {
    auto sets = std::make_shared<Sets>();
    const bool hevc = codec == VideoCodec::Hevc;
    for (const Set& s : sps)
        if (!(hevc ? ReadHevcSps(ByteView(s), *sets) : ReadH264Sps(ByteView(s), *sets)))
            return std::nullopt;
    for (const Set& p : pps)
        if (!(hevc ? ReadHevcPps(ByteView(p), *sets) : ReadH264Pps(ByteView(p), *sets)))
            return std::nullopt;
    if (sets->sps.empty() || sets->pps.empty()) return std::nullopt;
    return SliceReader(codec, std::move(sets));
}

std::optional<SliceNumbers> SliceReader::read(ByteView first_slice) const {
    return codec_ == VideoCodec::Hevc ? ReadHevcSlice(first_slice, *sets_)
                                      : ReadH264Slice(first_slice, *sets_);
}

bool SliceReader::follows(const SliceNumbers& last_reference, const SliceNumbers& next) const {
    if (codec_ == VideoCodec::Hevc || next.restart) return true;
    return next.max_frame_num == last_reference.max_frame_num &&
           next.frame_num == (last_reference.frame_num + 1) % last_reference.max_frame_num;
}

std::optional<CompositionOffsets> ComposeOrder(VideoCodec codec, const std::vector<Set>& sps,
                                               const std::vector<Set>& pps,
                                               const std::vector<Set>& first_slices) {
    const auto reader = SliceReader::FromSets(codec, sps, pps);
    if (!reader) return std::nullopt;

    // (sequence, picture order count) per picture in decoding order.
    std::vector<std::pair<std::int64_t, std::int64_t>> keys;
    keys.reserve(first_slices.size());
    std::int64_t sequence = -1, prev_msb = 0, prev_lsb = 0;
    for (const Set& slice : first_slices) {
        const auto pic = reader->read(ByteView(slice));
        if (!pic) return std::nullopt;
        if (pic->shown_as_decoded)
            return CompositionOffsets{std::vector<std::uint32_t>(first_slices.size()), 0};
        if (!pic->poc_lsb) return std::nullopt;
        const std::int64_t lsb = *pic->poc_lsb;
        const bool restart = pic->restart || (pic->clean_random_access && keys.empty());
        const std::int64_t max = std::int64_t{1} << pic->poc_lsb_bits;
        if (restart || sequence < 0) {
            ++sequence;
            prev_msb = prev_lsb = 0;
        }
        std::int64_t msb = prev_msb;
        if (restart)
            msb = 0;
        else if (lsb < prev_lsb && prev_lsb - lsb >= max / 2)
            msb = prev_msb + max;
        else if (lsb > prev_lsb && lsb - prev_lsb > max / 2)
            msb = prev_msb - max;
        keys.emplace_back(sequence, msb + lsb);
        if (pic->keeps_count || restart) prev_msb = msb, prev_lsb = lsb;
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

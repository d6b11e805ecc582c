#include "recovery/expert_ops.hpp"

#include <cstdint>
#include <vector>

#include "common/decimal.hpp"

namespace tav {

namespace {

constexpr std::string_view kVeryGood = "非常好";
constexpr std::string_view kGood = "好";
constexpr std::string_view kPoor = "差";
constexpr std::int64_t kExpertUnit = 512;

UserMessage NothingTicked(const char* text) {
    return UserMessage{"未选中", text, MsgIcon::None, MsgButtons::Ok};
}

bool Kept(std::string_view quality, KeepGrades keep) {
    if (quality == kVeryGood) return true;
    return keep == KeepGrades::VeryGoodAndGood && quality == kGood;
}

std::optional<std::size_t> FirstTicked(const TextTable& table) {
    for (std::size_t r = 0; r < table.row_count(); ++r)
        if (table.checked(r)) return r;
    return std::nullopt;
}

}  // namespace

void CopyCellToField(const TextTable& fragments, std::optional<std::size_t> selected_row,
                     CopyItem item, ExpertFields& fields) {
    if (!selected_row || *selected_row >= fragments.row_count()) return;
    const std::size_t r = *selected_row;
    switch (item) {
        case CopyItem::StartOffset:
            fields.start_offset = fragments.cell(r, frag::StartOffset);
            break;
        case CopyItem::EndOffset:
            fields.end_offset = fragments.cell(r, frag::EndOffset);
            break;
        case CopyItem::LengthSectors:
            fields.file_length = fragments.cell(r, frag::LengthSectors);
            break;
        case CopyItem::StszOff:
            fields.file_length = fragments.cell(r, frag::StszOff);
            break;
        case CopyItem::StcoOff:
            fields.file_length = fragments.cell(r, frag::StcoOff);
            break;
    }
}

ExpertOutcome TickByQuality(TextTable& fragments, KeepGrades keep) {
    std::vector<std::size_t> kept;
    for (std::size_t r = 0; r < fragments.row_count(); ++r) {
        if (!Kept(fragments.cell(r, frag::Quality), keep)) continue;
        for (const auto& entry : SplitFragmentList(fragments.cell(r, frag::Fragments))) {
            if (entry.empty()) continue;  // a header without its start region
            const auto sn = parse_int64(entry);
            if (!sn) return NotANumberMessage(entry);
            if (*sn >= 0) kept.push_back(static_cast<std::size_t>(*sn));
        }
    }
    if (kept.empty()) return std::nullopt;
    for (auto& row : fragments.rows()) row.checked = true;
    for (std::size_t sn : kept) fragments.set_checked(sn, false);
    return std::nullopt;
}

ExpertOutcome AddTickedFragments(TableSet& tables) {
    TextTable& fragments = tables.fragments;
    if (!FirstTicked(fragments)) return NothingTicked("请选中要添加的碎片！");
    for (std::size_t r = 0; r < fragments.row_count(); ++r) {
        const std::string& quality = fragments.cell(r, frag::Quality);
        if (!fragments.checked(r)) continue;
        if (!quality.empty() && quality != kGood && quality != kPoor) continue;
        const std::string& sectors_text = fragments.cell(r, frag::LengthSectors);
        const auto sectors = parse_int64(sectors_text);
        if (!sectors || *sectors < 0 || *sectors > INT64_MAX / kExpertUnit - 1)
            return NotANumberMessage(sectors_text);
        const std::string length = dec((*sectors + 1) * kExpertUnit);
        const std::string list = fragments.cell(r, frag::SN) + ",";
        tables.outputs.add_row({dec(static_cast<std::int64_t>(tables.outputs.row_count())), length,
                                "1", "手动", "", list, "", ""});
        tables.results.add_row({dec(static_cast<std::int64_t>(tables.results.row_count())), length,
                                "1", "手动", "", ""});
    }
    return std::nullopt;
}

ExpertOutcome CorrectHeadEnd(TextTable& fragments) {
    const auto r = FirstTicked(fragments);
    if (!r) return NothingTicked("请选中要修改的碎片！");
    if (fragments.cell(*r, frag::EndType) != "mdat" &&
        fragments.cell(*r, frag::StartType) != "mdat")
        return std::nullopt;
    const std::string& own_text = fragments.cell(*r, frag::OwnLength);
    if (own_text.empty()) return std::nullopt;
    const std::string& start_text = fragments.cell(*r, frag::StartOffset);
    const auto start = parse_int64(start_text);
    if (!start) return NotANumberMessage(start_text);
    const auto own = parse_int64(own_text);
    if (!own) return NotANumberMessage(own_text);
    if (*own < 0 || *start < 0 || *own > INT64_MAX - *start) return NotANumberMessage(own_text);
    const std::int64_t end = *start + *own;
    fragments.set_cell(*r, frag::EndOffset, dec(end));
    fragments.set_cell(*r, frag::LengthSectors, dec((end - *start) / kExpertUnit));
    return std::nullopt;
}

UserMessage NotANumberMessage(std::string_view text) {
    return UserMessage{"错误", "\"" + std::string(text) + "\" 不是有效的整数", MsgIcon::Warning,
                       MsgButtons::Ok};
}

bool CheckAccessCode(std::string_view entered) {
    return entered == "wqnbtrhzd";
}

UserMessage WrongAccessCodeMessage() {
    return UserMessage{"Fuck", "Your Pass is wrong,Please Again,But Only one!", MsgIcon::Warning,
                       MsgButtons::Ok};
}

}  // namespace tav

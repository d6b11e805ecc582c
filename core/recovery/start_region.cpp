#include "recovery/start_region.hpp"

#include <array>
#include <vector>

#include "common/byte_order.hpp"
#include "scan/start_region.hpp"

namespace tav {

namespace {

// The ftyp and the atoms after it that the walk usually needs at once.
constexpr std::size_t kFirstBytes = 1024;

std::string ProblemText(StartProblem p) {
    switch (p) {
        case StartProblem::NoFtyp:
            return "开头不是ftyp";
        case StartProblem::BadFtyp:
            return "ftyp的长度无效";
        case StartProblem::BadMdat:
            return "mdat的长度无效";
        case StartProblem::NoMdat:
            break;
    }
    return "ftyp后面不是mdat";
}

}  // namespace

std::expected<MediaData, std::string> FindMediaData(const MediaBytes& region) {
    // The same walk as the scan's, so a start the scan listed is one the
    // rebuild takes.
    std::vector<std::uint8_t> first(kFirstBytes);
    while (!first.empty() && !region.read(0, first)) first.resize(first.size() / 2);
    const auto more = [&](std::uint64_t offset, std::span<std::uint8_t> buf) {
        return region.read(offset, buf);
    };
    const auto start = ParseStartRegion(ByteView(first), more);
    if (!start) return std::unexpected(ProblemText(start.error()));
    MediaData m{start->mdat_at, start->mdat_payload, 0, start->mdat_size_64, !start->mdat_end};
    // The rebuilt file ends a media data that ran to the end with a 32-bit size.
    m.end = start->mdat_end ? *start->mdat_end : start->mdat_at + 0xFFFFFFFFull;
    return m;
}

ByteString MdatSizeField(const MediaData& m, std::uint64_t end) {
    ByteString field(m.wide ? 8 : 4);
    if (m.wide)
        store_be64(field.data(), end - m.mdat_at);
    else
        store_be32(field.data(), static_cast<std::uint32_t>(end - m.mdat_at));
    return field;
}

}  // namespace tav

#include "recovery/output_extension.hpp"

#include <array>

#include "common/decimal.hpp"
#include "scan/start_region.hpp"

namespace tav {

std::string OutputExtension(const SourceReader& source, const FragmentRanges& ranges) {
    constexpr const char* kQuickTime = ".mov";
    if (ranges.size() == 0 || ranges.start_offsets.empty()) return kQuickTime;
    const auto start = parse_int64(ranges.start_offsets.front());
    if (!start || *start < 0) return kQuickTime;
    std::array<std::uint8_t, 12> head{};
    if (!source.read_at(*start, head).clean()) return kQuickTime;
    const ByteView bytes(head.data(), head.size());
    if (!bytes.matches(4, "ftyp")) return kQuickTime;
    return ExtensionForBrand(std::string_view(reinterpret_cast<const char*>(head.data() + 8), 4));
}

}  // namespace tav

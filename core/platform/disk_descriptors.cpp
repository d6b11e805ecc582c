#include "platform/disk_descriptors.hpp"

#include <limits>

namespace tav {
namespace {

constexpr std::size_t kGeometryBytes = 24;
constexpr std::size_t kProductIdAt = 16;
constexpr std::size_t kRevisionAt = 20;
constexpr std::size_t kBusTypeAt = 28;
constexpr std::size_t kDescriptorHeader = 32;

bool IsRemovableMedia(std::uint32_t media) {
    return (media >= 1 && media <= 11) || (media >= 13 && media <= 22);
}

// The NUL-terminated text at the offset; empty for offset 0 (absent) or one
// outside the answer. Stops at the end of the answer if no NUL comes.
std::string TextAt(ByteView answer, std::uint32_t offset) {
    if (offset == 0 || offset >= answer.size()) return {};
    std::string text;
    for (std::size_t i = offset; i < answer.size() && answer.data()[i] != 0; ++i)
        text += static_cast<char>(answer.data()[i]);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string{} : text.substr(first);
}

}  // namespace

std::optional<DriveGeometry> ParseDriveGeometry(ByteView answer) {
    if (!answer.has(0, kGeometryBytes)) return std::nullopt;
    const auto cylinders = static_cast<std::int64_t>(answer.le64(0).value_or(0));
    const std::uint32_t media = answer.le32(8).value_or(0);
    const std::uint32_t tracks = answer.le32(12).value_or(0);
    const std::uint32_t sectors = answer.le32(16).value_or(0);
    const std::int64_t per_cylinder = std::int64_t{tracks} * sectors;
    if (cylinders < 0 ||
        (per_cylinder != 0 && cylinders > std::numeric_limits<std::int64_t>::max() / per_cylinder))
        return std::nullopt;
    return DriveGeometry{cylinders * per_cylinder, answer.le32(20).value_or(0),
                         IsRemovableMedia(media)};
}

std::optional<StorageDescriptor> ParseStorageDescriptor(ByteView answer) {
    if (!answer.has(0, kDescriptorHeader)) return std::nullopt;
    StorageDescriptor d;
    d.product = TextAt(answer, answer.le32(kProductIdAt).value_or(0));
    d.revision = TextAt(answer, answer.le32(kRevisionAt).value_or(0));
    d.bus_code = static_cast<int>(answer.le32(kBusTypeAt).value_or(0) & 0x7FFFFFFF);
    return d;
}

}  // namespace tav

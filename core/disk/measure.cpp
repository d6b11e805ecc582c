// Thin readers around ParseBootSector and the size of a source.

#include <array>

#include "disk/measure.hpp"

namespace tav {
namespace {

// Enough for one sector of any supported size, so that devices that only
// accept whole-sector reads can answer too.
constexpr std::size_t kBootReadBytes = 4096;

MeasureError OpenFailure(const OpenError& e) {
    return MeasureError{MeasureError::OpenFailed, e.path + ": " + e.reason};
}

std::expected<TDiskInfo, MeasureError> MeasureBySize(const std::string& path) {
    auto source = SourceReader::open(path);
    if (!source) return std::unexpected(OpenFailure(source.error()));
    return MeasureWhole(*source);
}

}  // namespace

TDiskInfo RawDiskInfo(std::int64_t size_bytes, TDiskInfo previous) {
    previous.BytesPerSector = 512;
    previous.SectorsPerCluster = 8;
    previous.BytesPerCluster = 4096;
    previous.StartSector = 0;
    previous.EndSector = size_bytes / 512;
    previous.FileSystem = "Raw";
    return previous;
}

std::expected<TDiskInfo, MeasureError> MeasureWhole(const SourceReader& source) {
    const std::string& path = source.path();
    const std::int64_t size = source.size();
    if (size < 0)
        return std::unexpected(MeasureError{MeasureError::NotRecognised, path + ": 无法获取大小"});
    if (size < 512)
        return std::unexpected(MeasureError{MeasureError::Empty, path + ": 不足一个完整扇区"});
    return RawDiskInfo(size);
}

std::expected<TDiskInfo, MeasureError> MeasureVolume(const std::string& path) {
    auto source = SourceReader::open(path);
    if (!source) return std::unexpected(OpenFailure(source.error()));
    return MeasureVolume(*source);
}

std::expected<TDiskInfo, MeasureError> MeasureVolume(const SourceReader& source) {
    const std::string& path = source.path();
    std::array<std::uint8_t, kBootReadBytes> block{};
    const std::size_t got = source.read_at(0, block).bytes;
    if (got == 0) return std::unexpected(MeasureError{MeasureError::Empty, path + ": 文件为空"});
    if (got < 512)
        return std::unexpected(
            MeasureError{MeasureError::NotRecognised, path + ": 不足一个引导扇区"});
    auto info = ParseBootSector(std::span<const std::uint8_t>(block.data(), 512));
    if (!info)
        return std::unexpected(MeasureError{info.error().kind, path + ": " + info.error().reason});
    return info;
}

std::expected<TDiskInfo, MeasureError> MeasureRawImage(const std::string& path) {
    return MeasureBySize(path);
}

std::expected<TDiskInfo, MeasureError> MeasurePhysicalDisk(const std::string& device_path) {
    return MeasureBySize(device_path);
}

}  // namespace tav

#include "sources/measured_source.hpp"

namespace tav {
namespace {

std::unexpected<MeasureError> Failure(MeasureError::Kind kind, std::string reason) {
    return std::unexpected(MeasureError{kind, std::move(reason)});
}

std::expected<SourceKind, MeasureError> KindOfChoice(const SourceChoice& choice) {
    if (choice.kind) return *choice.kind;
    const auto at = KindOfPath(choice.path);
    if (!at)
        return Failure(MeasureError::OpenFailed,
                       "无法访问源 " + choice.path + "：" + at.error().reason);
    switch (*at) {
        case PathKind::File:
            return SourceKind::Image;
        case PathKind::Partition:
            return SourceKind::Volume;
        case PathKind::WholeDisk:
            return SourceKind::Disk;
        case PathKind::Other:
            break;
    }
    return Failure(MeasureError::OpenFailed, choice.path + " 既不是镜像文件也不是块设备");
}

std::expected<TDiskInfo, MeasureError> Measure(const SourceReader& source, SourceKind kind,
                                               bool deep_scan) {
    switch (kind) {
        case SourceKind::Disk:
            return MeasureWhole(source);
        case SourceKind::Volume: {
            auto info = MeasureVolume(source);
            return info || !deep_scan ? info : MeasureWhole(source);
        }
        case SourceKind::Image:
            break;
    }
    auto info = MeasureVolume(source);
    return info ? info : MeasureWhole(source);
}

}  // namespace

std::expected<MeasuredSource, MeasureError> MeasureSource(const SourceChoice& choice) {
    const auto kind = KindOfChoice(choice);
    if (!kind) return std::unexpected(kind.error());
    const auto source = SourceReader::open(choice.path);
    if (!source)
        return Failure(MeasureError::OpenFailed,
                       source.error().path + ": " + source.error().reason);
    auto info = Measure(*source, *kind, choice.deep_scan);
    if (!info) return std::unexpected(info.error());
    // The scan needs at least one sector to read.
    if (info->EndSector <= info->StartSector)
        return Failure(MeasureError::Empty, choice.path + " 是空的，没有可扫描的扇区");
    return MeasuredSource{choice.path, *kind, source->sector_bytes(), source->size(),
                          std::move(*info)};
}

}  // namespace tav

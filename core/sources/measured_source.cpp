#include "sources/measured_source.hpp"

#include <algorithm>

#include "common/decimal.hpp"
#include "disk/partition_table.hpp"

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
        case SourceKind::Disk: {
            // A card formatted without a partition table: the whole device
            // is the volume, scanned as one in the deletion and format
            // scans. A deep scan reads every sector of a disk.
            if (deep_scan) return MeasureWhole(source);
            auto info = MeasureVolume(source);
            return info ? info : MeasureWhole(source);
        }
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

// The volume in one partition of a whole-card image or disk.
std::expected<TDiskInfo, MeasureError> MeasurePartition(SourceReader source, int number,
                                                        bool deep_scan) {
    const std::string path = source.path();
    const auto table = ReadPartitionTable(source);
    if (table.empty()) return Failure(MeasureError::NotRecognised, path + " 没有分区表");
    const auto entry = std::ranges::find(table, number, &PartitionEntry::number);
    if (entry == table.end())
        return Failure(MeasureError::NotRecognised,
                       path + " 没有第" + dec(std::int64_t{number}) + "个分区");
    const SourceReader volume = std::move(source).into_window(entry->offset, entry->length);
    auto info = MeasureVolume(volume);
    if (!info && deep_scan) info = MeasureWhole(volume);
    if (info) info->VolumeOffset = entry->offset;
    return info;
}

}  // namespace

std::expected<MeasuredSource, MeasureError> MeasureSource(const SourceChoice& choice) {
    const auto kind = KindOfChoice(choice);
    if (!kind) return std::unexpected(kind.error());
    auto source = SourceReader::open(choice.path);
    if (!source)
        return Failure(MeasureError::OpenFailed,
                       source.error().path + ": " + source.error().reason);
    const std::int64_t sector_bytes = source->sector_bytes();
    const std::int64_t size_bytes = source->size();
    auto info = choice.partition
                    ? MeasurePartition(std::move(*source), *choice.partition, choice.deep_scan)
                    : Measure(*source, *kind, choice.deep_scan);
    if (!info) return std::unexpected(info.error());
    const SourceKind measured_kind =
        *kind == SourceKind::Disk && !choice.partition && info->FileSystem != "Raw"
            ? SourceKind::Volume
            : *kind;
    // The scan needs at least one sector to read.
    if (info->EndSector <= info->StartSector)
        return Failure(MeasureError::Empty, choice.path + " 是空的，没有可扫描的扇区");
    return MeasuredSource{choice.path, measured_kind,    sector_bytes,
                          size_bytes,  std::move(*info), choice.partition.value_or(0)};
}

}  // namespace tav

#include "sources/partition_list.hpp"

#include "disk/measure.hpp"
#include "disk/partition_table.hpp"
#include "disk/volume_label.hpp"
#include "platform/source_list.hpp"

namespace tav {

std::vector<ListedPartition> ListPartitions(const std::string& path) {
    std::vector<ListedPartition> out;
    const auto disk = SourceReader::open(path);
    if (!disk) return out;
    for (const PartitionEntry& entry : ReadPartitionTable(*disk)) {
        ListedPartition p{entry.number, entry.offset, entry.length, {}, {}, {}};
        if (auto opened = SourceReader::open(path)) {
            const SourceReader volume = std::move(*opened).into_window(entry.offset, entry.length);
            if (auto info = MeasureVolume(volume)) {
                p.file_system = info->FileSystem;
                p.label = ReadVolumeLabel(volume);
            }
        }
        p.text = "分区" + std::to_string(p.number) + ":";
        if (!p.file_system.empty()) p.text += " " + p.file_system;
        if (!p.label.empty()) p.text += " " + p.label;
        p.text += " (" + DiskSizeText(static_cast<double>(p.length) / 512) + ")";
        out.push_back(std::move(p));
    }
    return out;
}

}  // namespace tav

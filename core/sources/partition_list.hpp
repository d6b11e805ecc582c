#pragma once
// The partitions of a whole-card image or disk as the source step and
// `list` show them: number, place, size, file system and label.

#include <cstdint>
#include <string>
#include <vector>

namespace tav {

struct ListedPartition {
    int number = 0;
    std::int64_t offset = 0;
    std::int64_t length = 0;
    std::string file_system;  // "FAT32", "exFAT", ...; empty when not recognised
    std::string label;
    std::string text;  // "分区1: FAT32 CANON (255.00 MB)"
};

// Empty when the path cannot be opened or holds no partition table.
std::vector<ListedPartition> ListPartitions(const std::string& path);

}  // namespace tav

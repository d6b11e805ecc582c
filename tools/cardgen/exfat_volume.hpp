#pragma once
// Files put straight into a volume that mkfs.exfat has just formatted, for
// cards of hundreds of gigabytes: copying gigabytes through a FUSE mount
// takes minutes, and a sparse image keeps only the bytes written. Each file
// is one contiguous cluster run without a FAT chain, as cameras write them;
// its entry set goes into the root directory (grown through the FAT as
// needed) and its clusters into the allocation bitmap. A deleted file is
// left as the driver leaves one: entry set marked unused, clusters free,
// contents in place. fsck.exfat passes the result.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>
#include <vector>

namespace tav::cardgen {

struct ExfatFile {
    std::string name;         // ASCII, at most 255 characters
    std::int64_t offset = 0;  // of its first byte on the image, from Allocate
    std::int64_t length = 0;
    bool deleted = false;
    std::uint32_t dos_time = 0;  // creation and modification time, DOS packed
};

class ExfatVolume {
  public:
    // The volume at the start of image, as mkfs.exfat left it.
    static std::expected<ExfatVolume, std::string> Open(const std::filesystem::path& image);

    std::int64_t cluster_bytes() const { return cluster_bytes_; }
    std::int64_t cluster_count() const { return cluster_count_; }
    // Image offset of the first byte of a free run for length bytes that
    // starts at or after cluster index `from` (0 = the heap's first cluster),
    // past every run handed out so far; -1 when the volume is full.
    std::int64_t Allocate(std::int64_t length, std::int64_t from);
    // Writes the directory entry sets, the root directory's FAT chain and
    // the allocation bitmap for files whose bytes are on the image.
    std::expected<void, std::string> Commit(const std::vector<ExfatFile>& files);

  private:
    std::filesystem::path image_;
    std::int64_t sector_bytes_ = 512, cluster_bytes_ = 0, cluster_count_ = 0;
    std::int64_t fat_offset_ = 0, fat_bytes_ = 0, heap_offset_ = 0;
    int fat_copies_ = 1;
    std::uint32_t root_cluster_ = 0;
    std::int64_t next_free_ = 0;  // heap index past the runs handed out
    std::vector<std::uint8_t> bitmap_;
    std::int64_t bitmap_offset_ = 0;
    std::int64_t cluster_offset(std::int64_t cluster) const {
        return heap_offset_ + (cluster - 2) * cluster_bytes_;
    }
};

// DOS packed date and time from "YYYY:MM:DD" and "HH:MM:SS" (2-second steps).
std::uint32_t DosTime(const std::string& date, const std::string& time);

}  // namespace tav::cardgen

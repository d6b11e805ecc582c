#pragma once
// A chosen source, classified and measured once: the one value that goes
// from the source step or the command line to the scan and the save. The
// sources floor stands on disk/ (boot sectors, labels) and platform/.

#include <cstdint>
#include <expected>
#include <optional>
#include <string>

#include "disk/disk_info.hpp"
#include "disk/measure.hpp"
#include "platform/source_paths.hpp"

namespace tav {

// What the user picked. The source step knows what its node stands for; the
// command line names a path only, and what lies there decides.
struct SourceChoice {
    std::string path;
    std::optional<SourceKind> kind = std::nullopt;
    // A deep scan reads a volume whose file system is not recognised whole.
    bool deep_scan = false;
    // A partition of a whole-card image or disk, numbered as the system
    // numbers them (1 for sdb1); the volume there is measured and scanned.
    std::optional<int> partition = std::nullopt;
};

struct MeasuredSource {
    std::string path;  // what the scan and the save open
    SourceKind kind = SourceKind::Image;
    std::int64_t sector_bytes = 512;  // the medium's own sector
    std::int64_t size_bytes = -1;     // -1 when the platform cannot tell
    TDiskInfo info;                   // file system and scan range; "Raw" when read whole
    int partition = 0;                // the chosen partition, 0 for the whole source
};

// An image is measured by its boot sector, else whole by its size; a volume
// by its boot sector; a disk whole in a deep scan, else by its boot sector
// when the whole device is one volume (a card formatted without a partition
// table). With a
// partition, the volume inside it (its offset in info.VolumeOffset). A path
// alone is an image when it is a file, a volume when it is a partition and a
// disk when it is a whole block device (a loop device too). Failures carry
// the texts shown to the user.
std::expected<MeasuredSource, MeasureError> MeasureSource(const SourceChoice& choice);

}  // namespace tav

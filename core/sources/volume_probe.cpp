#include "sources/volume_probe.hpp"

#include "disk/measure.hpp"
#include "disk/volume_label.hpp"

namespace tav {

VolumeProbe FileSystemProbe() {
    return VolumeProbe{[](const std::string& device) { return MeasureVolume(device).has_value(); },
                       [](const std::string& device) {
                           const auto source = SourceReader::open(device);
                           return source ? ReadVolumeLabel(*source) : std::string{};
                       }};
}

}  // namespace tav

#pragma once
// The listing's questions about a device answered from the volume itself:
// a recognised boot sector, and the label of its boot sector or $Volume.

#include "platform/source_list.hpp"

namespace tav {

VolumeProbe FileSystemProbe();

}  // namespace tav

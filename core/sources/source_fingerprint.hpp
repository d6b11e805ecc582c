#pragma once
// A short mark of a medium's contents, to tell on resume whether the source
// is the card a checkpoint came from: its first sectors, its volume's boot
// sector and its last sectors. A few KiB only, so that it costs no reading
// worth counting on a card that may not survive many more passes.

#include <cstdint>
#include <string>

#include "platform/source_reader.hpp"

namespace tav {

std::string SourceFingerprint(const SourceReader& whole, std::int64_t volume_offset);

}  // namespace tav

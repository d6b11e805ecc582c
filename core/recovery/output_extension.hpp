#pragma once
// Which extension a recovered file takes: its start region's major brand
// decides (".mov" for QuickTime, ".mp4", ".m4v" or ".3gp" for the ISO
// family), read from the medium where the file's first fragment starts.

#include <string>

#include "platform/source_reader.hpp"
#include "recovery/copy_fragments.hpp"

namespace tav {

// ".mov" when the first fragment does not begin with an "ftyp" atom.
std::string OutputExtension(const SourceReader& source, const FragmentRanges& ranges);

}  // namespace tav

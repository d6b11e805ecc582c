#pragma once
// Movies written in fragments (their header announces them with "mvex"):
// security and action cameras and some phone apps record the header first,
// then fragment after fragment ("moof" + "mdat"), with an index ("mfra") at
// the end. Such a file has no sample tables to pair; it is its top-level
// atoms from the "ftyp" on.

#include <cstdint>
#include <optional>

#include "common/byte_view.hpp"
#include "platform/source_reader.hpp"

namespace tav {

// Whether a movie atom (its size field first) announces fragments.
bool AnnouncesFragments(ByteView moov);

struct FragmentedFile {
    std::int64_t length = 0;   // from the "ftyp" to the end of the last atom of the file
    std::uint64_t frames = 0;  // the video samples its fragments' runs hold
    bool indexed = false;      // it ends with its fragment index, as a finished recording does
};

// The file whose "ftyp" lies at head on the source, holding moov (its size
// field first). Nothing when its atoms do not lead past the movie atom.
std::optional<FragmentedFile> WalkFragmentedFile(const SourceReader& source, std::int64_t head,
                                                 ByteView moov);

}  // namespace tav

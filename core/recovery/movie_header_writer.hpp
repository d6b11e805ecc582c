#pragma once
// Writes a movie atom for walked media data: the reference's header atoms
// and sample descriptions, sample tables from the walk. Chunk offsets are
// file-relative ("co64" once one passes 4 GiB).

#include "recovery/media_walk.hpp"
#include "recovery/reference_movie.hpp"

namespace tav {

// walk.video must not be empty and every sample below 4 GiB.
ByteString WriteRebuiltMoov(const ReferenceMovie& reference, const MediaWalk& walk);

}  // namespace tav

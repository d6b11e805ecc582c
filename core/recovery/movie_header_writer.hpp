#pragma once
// Writes a movie atom for walked media data: the reference's header atoms
// and sample descriptions, sample tables from the walk. Chunk offsets are
// file-relative ("co64" once one passes 4 GiB).

#include "codec/picture_order.hpp"
#include "recovery/media_walk.hpp"
#include "recovery/reference_movie.hpp"

namespace tav {

// walk.video must not be empty and every sample below 4 GiB. order: where
// the pictures are shown later than decoded (B-frames), one offset per
// walked picture: composition offsets and an edit list that starts the
// movie at its first shown picture.
ByteString WriteRebuiltMoov(const ReferenceMovie& reference, const MediaWalk& walk,
                            const CompositionOffsets* order = nullptr);

}  // namespace tav

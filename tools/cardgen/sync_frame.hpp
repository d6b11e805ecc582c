#pragma once
// Whether an access unit (4-byte length-prefixed NALs) can start decoding:
// it holds an IDR slice (H.264) or an IRAP picture (HEVC).

#include "cardgen/mov_builder.hpp"

namespace tav::cardgen {

bool IsSyncFrame(const Bytes& frame, VideoCodec codec);

}  // namespace tav::cardgen

#pragma once
// Decodes a recovered file from end to end: every video sample its header
// lists, and its sound track, counting what decodes cleanly. Bounded by
// VerifyLimits and stopped by the caller, so no file can crash or hang it.

#include "byte_source.hpp"
#include "verification.hpp"

namespace tav::preview {

Verification VerifyDecode(const ByteSource& file, const VerifyControl& control,
                          const VerifyLimits& limits = {});

}  // namespace tav::preview

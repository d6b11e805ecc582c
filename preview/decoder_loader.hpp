#pragma once
// The FFmpeg decoder lives in a module (tavorine-mov-decoder.so) that is
// loaded on first use: FFmpeg's libraries and theirs are over a hundred, and
// loading them would add tens of milliseconds to every start of the programs,
// most of which never show a preview.

#include <expected>
#include <string>

#include "decoder/first_frame.hpp"
#include "verification.hpp"

namespace tav::preview {

// Loaded once per process. Looked for in $TAVORINE_DECODER (a file), beside
// the running program, then in the library folder of the tree it is installed
// in (bin/../lib/.../tavorine-mov). The reason when it cannot be loaded.
std::expected<DecodeFunction, std::string> LoadDecoder();
std::expected<VerifyFunction, std::string> LoadVerifier();

}  // namespace tav::preview

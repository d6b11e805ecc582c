#pragma once
// Takes the video samples and their sample description out of a QuickTime
// file written by another muxer (ffmpeg), whatever its chunk layout.

#include <expected>
#include <string>

#include "cardgen/mov_builder.hpp"
#include "common/byte_view.hpp"

namespace tav::cardgen {

std::expected<EncodedClip, std::string> ReadVideoSamples(ByteView file);

}  // namespace tav::cardgen

#pragma once
// The scanner's check of a file's last frame: a 2-byte first NAL (an
// access-unit delimiter) followed by exactly one more NAL that ends the
// sample, or the marker value 0x00010009. Lets tests know in advance how a
// generated file will grade.

#include <cstdint>

#include "common/byte_view.hpp"

namespace tav::cardgen {

// file holds the whole file; last_offset and last_size describe its last sample.
bool LastFrameVerifies(ByteView file, std::uint64_t last_offset, std::uint32_t last_size);

}  // namespace tav::cardgen

#pragma once
// Builds clips as cameras and phones other than the tagging camera write
// them: no DATE/TIME block, the layout's brand and top-level atoms, the movie
// atom before or after the media data, H.264 or HEVC video, PCM or AAC sound.

#include <cstdint>
#include <string>

#include "cardgen/aac_clip.hpp"
#include "cardgen/mov_builder.hpp"
#include "cardgen/writer_layout.hpp"

namespace tav::cardgen {

// Seconds since 1904-01-01 of "YYYY:MM:DD" "HH:MM:SS" taken as UTC.
std::uint32_t QuickTimeSeconds(const std::string& date, const std::string& time);

// "YYYY-MM-DDTHH:MM:SS+hhmm": the same clock time, in a zone offset_minutes from UTC.
std::string IsoLocalTime(const std::string& date, const std::string& time, int offset_minutes);

// The options' date and time become the movie header's creation time (and
// the layout's date tag); options.co64 and options.mdat64 are kept. aac is
// needed when the layout has AAC sound; PCM sound is a quiet tone of a
// seeded pitch.
MovFile BuildOtherMov(const MovOptions& options, const WriterLayout& layout,
                      const EncodedClip& video, const AacClip* aac, std::uint64_t seed);

}  // namespace tav::cardgen

#pragma once
// Decodes the banner JPEG with libjpeg. Anything libjpeg complains about,
// warnings included (a truncated file decodes with grey filler otherwise),
// gives a null image: no banner beats a broken one, and nothing may crash.

#include <QImage>
#include <cstdint>
#include <span>

namespace tav::app {

QImage DecodeJpeg(std::span<const std::uint8_t> data);

}  // namespace tav::app

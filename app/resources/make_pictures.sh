#!/bin/sh
# Regenerates the banner and button pictures shipped as Qt resources, each at
# 1x and at 2x ("name@2x.png") for screens scaled to 150 % and more. Words are
# drawn by the widgets as text, never baked into a picture. The banner comes
# as JPEG (decoded with libjpeg) and as PNG for the Windows build, whose Qt
# has no JPEG reader.
# Needs ImageMagick and the WenQuanYi Micro Hei font (the glyphs on the
# fault buttons).
set -e
cd "$(dirname "$0")"
FONT=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc

# $1: scale (1 or 2), $2: suffix ("" or "@2x"). Coordinates are written for
# 1x; ImageMagick's "scale" primitive doubles them.
render() {
  s=$1
  x=$2
  convert -size $((1280 * s))x$((76 * s)) gradient:'#1f4e8c'-'#3a8fd6' \
    -fill '#ffffff20' -draw "scale $s,$s circle 1180,38 1250,38" -draw "scale $s,$s circle 1080,10 1120,10" \
    -write "banner$x.png" -quality 92 "banner$x.jpg"

  fault_button() {
    convert -size $((180 * s))x$((150 * s)) xc:'#f4f8fd' -fill "$2" -stroke '#c8d6e6' -strokewidth "$s" \
      -draw "scale $s,$s roundrectangle 1,1 178,148 12,12" \
      -stroke none -fill '#ffffff' -draw "scale $s,$s roundrectangle 60,45 120,105 10,10" \
      -fill "$2" -font "$FONT" -pointsize $((40 * s)) -gravity north -annotate +0+$((47 * s)) "$3" \
      "$4$x.png"
  }
  fault_button delete '#2f7fd0' '✕' fault_delete
  fault_button format '#e07b22' '↻' fault_format
  fault_button deep '#3c9a4c' '' fault_deep
  # The magnifier is drawn: the font has no glyph for it.
  convert "fault_deep$x.png" -fill none -stroke '#3c9a4c' -strokewidth $((5 * s)) \
    -draw "scale $s,$s circle 86,71 86,87" -strokewidth $((7 * s)) -draw "scale $s,$s line 98,84 108,95" \
    "fault_deep$x.png"

  convert -size $((40 * s))x$((28 * s)) xc:none -fill '#2f7fd0' \
    -draw "scale $s,$s polygon 4,14 18,2 18,9 36,9 36,19 18,19 18,26" "back$x.png"
  convert -size $((40 * s))x$((28 * s)) xc:none -fill '#3c9a4c' \
    -draw "scale $s,$s polygon 20,4 4,18 10,18 10,26 30,26 30,18 36,18" "home$x.png"
  convert -size $((40 * s))x$((28 * s)) xc:none -fill '#e07b22' -draw "scale $s,$s roundrectangle 6,6 34,24 3,3" \
    -fill '#ffffff' -draw "scale $s,$s polygon 14,11 26,11 20,20" "load$x.png"

  # Tree icons of step 2: a drive and an image file.
  convert -size $((32 * s))x$((32 * s)) xc:none -fill '#5b6b7d' -draw "scale $s,$s roundrectangle 2,9 29,24 3,3" \
    -fill '#9fe07a' -draw "scale $s,$s circle 24,16 24,18" -fill '#cfd8e3' -draw "scale $s,$s rectangle 5,13 18,19" \
    "drive$x.png"
  convert -size $((32 * s))x$((32 * s)) xc:none -fill '#ffffff' -stroke '#2f7fd0' -strokewidth $((2 * s)) \
    -draw "scale $s,$s polygon 7,3 20,3 26,9 26,29 7,29" -stroke none -fill '#2f7fd0' \
    -draw "scale $s,$s rectangle 10,14 23,16" -draw "scale $s,$s rectangle 10,19 23,21" \
    -draw "scale $s,$s rectangle 10,24 19,26" "image$x.png"
}

render 1 ""
render 2 "@2x"

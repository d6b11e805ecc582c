#!/bin/sh
# Renders the PNG sizes of the hicolor theme from tavorine-mov.svg; the PNGs are
# committed so a build needs no SVG renderer. Needs rsvg-convert (librsvg2-bin).
set -e
cd "$(dirname "$0")"
for size in 16 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" tavorine-mov.svg -o "tavorine-mov-$size.png"
done
# The Windows icon (programs, shortcuts, installer): every size in one .ico.
# Needs ImageMagick.
convert $(for size in 16 32 48 64 128 256; do echo "tavorine-mov-$size.png"; done) ../windows/tavorine-mov.ico

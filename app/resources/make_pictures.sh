#!/bin/sh
# Regenerates the banner and button pictures shipped as Qt resources.
# Needs ImageMagick and the WenQuanYi Micro Hei font.
set -e
cd "$(dirname "$0")"
FONT=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc

convert -size 1280x76 gradient:'#1f4e8c'-'#3a8fd6' \
  -fill '#ffffff' -font "$FONT" -pointsize 30 -gravity west -annotate +20-6 'Tavorine-MOV 恢复工具' \
  -fill '#d6e8ff' -pointsize 14 -annotate +24+24 '摄像机 MOV 高清视频恢复' \
  -fill '#ffffff20' -draw 'circle 1180,38 1250,38' -draw 'circle 1080,10 1120,10' \
  -quality 90 banner.jpg

fault_button() {
  convert -size 180x150 xc:'#f4f8fd' -fill "$2" -stroke '#c8d6e6' -draw 'roundrectangle 1,1 178,148 12,12' \
    -stroke none -fill '#ffffff' -draw 'roundrectangle 60,18 120,78 10,10' \
    -fill "$2" -font "$FONT" -pointsize 40 -gravity north -annotate +0+20 "$3" \
    -fill '#ffffff' -pointsize 24 -gravity south -annotate +0+22 "$1" \
    "$4"
}
fault_button '误删除' '#2f7fd0' '✕' fault_delete.png
fault_button '误格式化' '#e07b22' '↻' fault_format.png
fault_button '深入扫描' '#3c9a4c' '' fault_deep.png
# The magnifier is drawn: the font has no glyph for it.
convert fault_deep.png -fill none -stroke '#3c9a4c' -strokewidth 5 -draw 'circle 86,44 86,60' \
  -strokewidth 7 -draw 'line 98,57 108,68' fault_deep.png

convert -size 40x28 xc:none -fill '#2f7fd0' -draw 'polygon 4,14 18,2 18,9 36,9 36,19 18,19 18,26' back.png
convert -size 40x28 xc:none -fill '#3c9a4c' -draw 'polygon 20,4 4,18 10,18 10,26 30,26 30,18 36,18' home.png
convert -size 40x28 xc:none -fill '#e07b22' -draw 'roundrectangle 6,6 34,24 3,3' \
  -fill '#ffffff' -draw 'polygon 14,11 26,11 20,20' load.png

# Tree icons of step 2: a drive and an image file.
convert -size 32x32 xc:none -fill '#5b6b7d' -draw 'roundrectangle 2,9 29,24 3,3' \
  -fill '#9fe07a' -draw 'circle 24,16 24,18' -fill '#cfd8e3' -draw 'rectangle 5,13 18,19' drive.png
convert -size 32x32 xc:none -fill '#ffffff' -stroke '#2f7fd0' -strokewidth 2 \
  -draw 'polygon 7,3 20,3 26,9 26,29 7,29' -stroke none -fill '#2f7fd0' \
  -draw 'rectangle 10,14 23,16' -draw 'rectangle 10,19 23,21' -draw 'rectangle 10,24 19,26' image.png

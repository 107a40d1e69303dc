#!/usr/bin/env bash
# Draws the program's pictures with ImageMagick, so that each one can be
# made again from this file.  The results are checked in; run this only
# after changing a drawing.  Needs imagemagick and fonts-liberation.
#
#   banner.jpg    About window banner: 307x87, JFIF 1.01 baseline, 3
#                 components, 300 dpi (the About window shows it unscaled)
#   picture1.png  main window's introduction picture, 150x225
#   vantrel-32.png, vantrel-16.png   the program's icon, 16 colours
set -euo pipefail
cd "$(dirname "$0")"

navy='#0b3350'
teal='#178a96'
orange='#f29a2e'
paper='#f4f7f9'
bold=Liberation-Sans-Bold
regular=Liberation-Sans

# The mark: a white "V" whose right arm ends in an orange arrow head, on a
# rounded navy-to-teal tile.  Drawn large and scaled down, so that the small
# sizes stay smooth.  $1 = output size, $2 = output file.
mark() {
  convert -size 256x256 xc:none \
    \( -size 256x256 gradient:"$teal"-"$navy" \) \
    \( -size 256x256 xc:none -fill white -draw 'roundrectangle 8,8 247,247 48,48' \) \
    -delete 0 -compose CopyOpacity -composite \
    -fill none -stroke white -strokewidth 34 -draw 'stroke-linecap round stroke-linejoin round polyline 58,70 128,196 176,96' \
    -fill "$orange" -stroke none -draw 'polygon 150,86 214,52 206,124' \
    -resize "$1x$1" "$2"
}

mark 256 /tmp/vantrel-mark.png
mark 32 PNG32:vantrel-32.tmp.png
mark 16 PNG32:vantrel-16.tmp.png
# The icon keeps to 16 colours, like the classic desktop icons it sits with.
convert vantrel-32.tmp.png +dither -colors 16 -strip PNG8:vantrel-32.png
convert vantrel-16.tmp.png +dither -colors 16 -strip PNG8:vantrel-16.png
rm -f vantrel-32.tmp.png vantrel-16.tmp.png

# Banner: the mark on the left, the name and a tag line on a dark band with
# an orange rule at its foot.
convert -size 87x307 gradient:"$teal"-"$navy" -rotate -90 \
  \( /tmp/vantrel-mark.png -resize 63x63 \) -geometry +12+10 -composite \
  -fill "$orange" -draw 'rectangle 0,82 306,86' \
  -font "$bold" -pointsize 34 -fill white -annotate +88+44 'Vantrel' \
  -font "$regular" -pointsize 12 -fill "$paper" \
  -annotate +90+66 'Batch updates for web documents' \
  -strip -colorspace sRGB -type TrueColor -interlace none \
  -sampling-factor 2x2,1x1,1x1 -quality 92 \
  -units PixelsPerInch -density 300 JPEG:banner.jpg

# Introduction picture: two documents, one rewritten, with the mark above
# them and the name beneath.  The main window's box shows only the top 209
# rows, so everything that matters lies above them.
convert -size 150x225 gradient:"$teal"-"$navy" \
  \( /tmp/vantrel-mark.png -resize 64x64 \) -geometry +43+8 -composite \
  -fill "$paper" -stroke '#9fb7c4' -strokewidth 1 \
  -draw 'roundrectangle 22,82 78,142 4,4' \
  -draw 'roundrectangle 72,90 128,150 4,4' \
  -stroke none -fill '#9fb7c4' \
  -draw 'rectangle 30,92 70,95' -draw 'rectangle 30,102 64,105' \
  -draw 'rectangle 30,112 70,115' -draw 'rectangle 30,122 58,125' \
  -fill "$orange" \
  -draw 'rectangle 80,100 120,103' -draw 'rectangle 80,110 114,113' \
  -fill '#9fb7c4' \
  -draw 'rectangle 80,120 120,123' -draw 'rectangle 80,130 108,133' \
  -stroke "$orange" -strokewidth 3 -fill none -draw 'line 50,160 92,160' \
  -stroke none -fill "$orange" -draw 'polygon 102,160 90,153 90,167' \
  -stroke none -font "$bold" -pointsize 26 -fill white -gravity north \
  -annotate +0+172 'Vantrel' \
  -strip PNG24:picture1.png

rm -f /tmp/vantrel-mark.png

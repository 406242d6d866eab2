#!/usr/bin/env bash
# Regenerates the small example pictures in examples/images/ with ImageMagick. The
# committed files are the output of this script; run it only to change them.
set -euo pipefail
cd "$(dirname "$0")/.."
out=examples/images
mkdir -p "$out"
# A little scene in three steps: a sun rising over a hill, drawn from primitives.
for i in 1 2 3; do
  y=$((70 - i * 15))
  convert -size 160x120 gradient:'#2050a0'-'#f0c080' \
    -fill '#ffd020' -draw "circle 110,$y 110,$((y + 14))" \
    -fill '#306020' -draw 'ellipse 60,130 120,45 0,360' \
    -type TrueColor "BMP3:$out/scene$i.bmp"
done
# Other depths and layouts of the same kind of picture, for the converter and the tests.
convert -size 160x120 xc:'#e0e0e0' -fill '#c02020' -draw 'rectangle 20,20 140,100' \
  -fill '#2020c0' -draw 'circle 80,60 80,90' -colors 16 -type Palette \
  "BMP3:$out/shapes4.bmp"
convert -size 160x120 gradient:yellow-purple -colors 64 -type Palette -compress RLE \
  "BMP3:$out/gradient-rle8.bmp"
convert -size 160x120 pattern:checkerboard -monochrome "BMP3:$out/checker1.bmp"
# The logo: magenta is its transparent colour.
convert -size 48x32 xc:magenta -fill '#102080' -draw 'roundrectangle 2,2 45,29 6,6' \
  -fill '#ffc800' -draw 'polygon 12,8 36,8 14,24 36,24 36,26 10,26 32,10 12,10' -type TrueColor "BMP3:$out/logo.bmp"
ls -l "$out"

#!/usr/bin/env bash
# The MPEG benches' clips, made with ffmpeg's sources and filters as bgr24 AVI files.
# Usage: clips.sh DIR [FRAMES]   writes DIR/NAME.avi for NAME in:
#   testsrc2    testsrc2, 320x240
#   photopan    a photo-like picture (smooth gradients with grain) panned 2 and 1 px
#               per picture, 320x240
#   mandelbrot  mandelbrot, 320x240
#   fastpan     the same kind of picture panned 7.5 px per picture, 640x480
set -euo pipefail
DIR=${1:?usage: clips.sh DIR [FRAMES]}
FRAMES=${2:-150}
mkdir -p "$DIR"
make() {
  ffmpeg -nostdin -v error -y "${@:2}" -frames:v "$FRAMES" -r 25 \
    -c:v rawvideo -pix_fmt bgr24 "$DIR/$1.avi"
}
# One still picture: gradients of six colours, blurred, with a fixed grain over them.
ffmpeg -nostdin -v error -y -f lavfi \
  -i "gradients=size=2048x1024:nb_colors=6:seed=7,gblur=sigma=3,noise=alls=12:allf=u" \
  -frames:v 1 "$DIR/photo.png"
still=(-loop 1 -framerate 25 -i "$DIR/photo.png")
make testsrc2 -f lavfi -i "testsrc2=size=320x240:rate=25"
make photopan "${still[@]}" -vf "crop=320:240:x='2*n':y='n'"
make mandelbrot -f lavfi -i "mandelbrot=size=320x240:rate=25"
make fastpan "${still[@]}" -vf "crop=640:480:x='7.5*n':y='2*n'"

#!/usr/bin/env bash
# The MPEG benches' clips, made with ffmpeg's sources and filters as bgr24 AVI files.
# Usage: clips.sh DIR [FRAMES]   writes DIR/NAME.avi for NAME in:
#   testsrc2    testsrc2, 320x240
#   photopan    a photo-like picture (radial colour gradients under soft cloud-like
#               texture, faint grain) panned 2 and 1 px per picture, 320x240
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
# One still picture: radial gradients of five colours, soft-lit by three octaves of smooth
# grey texture (noise scaled up 32x, 8x and 2x), with a faint fixed grain.
photo="gradients=size=2048x1024:nb_colors=5:seed=7:type=radial,format=rgb24[g];"
photo+="color=gray:size=64x32,format=gray,noise=alls=60:allf=u,scale=2048:1024:flags=bicubic[c];"
photo+="color=gray:size=256x128,format=gray,noise=alls=40:allf=u,scale=2048:1024:flags=bicubic[m];"
photo+="color=gray:size=1024x512,format=gray,noise=alls=30:allf=u,gblur=sigma=0.7,"
photo+="scale=2048:1024:flags=bicubic[f];"
photo+="[c][m]blend=all_mode=overlay[cm];[cm][f]blend=all_mode=overlay,format=rgb24[t];"
photo+="[g][t]blend=all_mode=softlight,noise=alls=3:allf=t"
ffmpeg -nostdin -v error -y -f lavfi -i "$photo" -frames:v 1 "$DIR/photo.png"
still=(-loop 1 -framerate 25 -i "$DIR/photo.png")
make testsrc2 -f lavfi -i "testsrc2=size=320x240:rate=25"
make photopan "${still[@]}" -vf "crop=320:240:x='2*n':y='n'"
make mandelbrot -f lavfi -i "mandelbrot=size=320x240:rate=25"
make fastpan "${still[@]}" -vf "crop=640:480:x='7.5*n':y='2*n'"

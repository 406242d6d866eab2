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
# One still picture, the same on every run (points, colours and seeds fixed): radial
# gradients of five colours, soft-lit by three octaves of smooth grey texture (noise
# scaled up 32x, 8x and 2x), with a faint fixed grain.
photo="gradients=size=2048x1024:type=radial:x0=600:y0=300:x1=1900:y1=1000:nb_colors=5:"
photo+="c0=0xc05030:c1=0x30a050:c2=0x4060d0:c3=0xe0c060:c4=0x803090,format=rgb24[g];"
photo+="color=gray:size=64x32,format=gray,noise=alls=60:allf=u:all_seed=1,scale=2048:1024:flags=bicubic[c];"
photo+="color=gray:size=256x128,format=gray,noise=alls=40:allf=u:all_seed=2,scale=2048:1024:flags=bicubic[m];"
photo+="color=gray:size=1024x512,format=gray,noise=alls=30:allf=u:all_seed=3,gblur=sigma=0.7,"
photo+="scale=2048:1024:flags=bicubic[f];"
photo+="[c][m]blend=all_mode=overlay[cm];[cm][f]blend=all_mode=overlay,format=rgb24[t];"
photo+="[g][t]blend=all_mode=softlight,noise=alls=3:allf=t:all_seed=4"
ffmpeg -nostdin -v error -y -f lavfi -i "$photo" -frames:v 1 "$DIR/photo.png"
still=(-loop 1 -framerate 25 -i "$DIR/photo.png")
make testsrc2 -f lavfi -i "testsrc2=size=320x240:rate=25"
make photopan "${still[@]}" -vf "crop=320:240:x='2*n':y='n'"
make mandelbrot -f lavfi -i "mandelbrot=size=320x240:rate=25"
make fastpan "${still[@]}" -vf "crop=640:480:x='7.5*n':y='2*n'"

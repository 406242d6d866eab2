#!/usr/bin/env bash
# Our MPEG-1 video encoder against ffmpeg's mpeg1video on the same full-range pictures:
# speed (frames per second, one and two threads), achieved bit rate and PSNR-Y of each
# decoded stream against the pictures both encoders were given.
# Usage: bench/mpeg_video/run.sh BIN_DIR   (a release build's bin folder)
set -euo pipefail
BIN=${1:?usage: run.sh BIN_DIR}
CLI="$BIN/zerarive-cli"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# Runs a command once and leaves "wall cpu" seconds in $TIMED. The machine is shared, so
# the single-thread figures use CPU time; the two-thread ones need wall time.
source "$(dirname "${BASH_SOURCE[0]}")/../measure.sh"
timed() { TIMED=$(runs=1 measure "$@" | awk '{ print $1, $2 }'); }
per_s() { awk -v n="$1" -v t="$2" 'BEGIN { printf "%.1f", n / t }'; }
rate() { awk -v bytes="$(stat -c %s "$1")" -v n="$2" 'BEGIN { printf "%.0f", bytes * 8 / (n / 25) }'; }
# PSNR-Y of a stream against the raw planes, picture by picture in display order.
psnr_y() {
  ffmpeg -nostdin -v error -y -i "$1" -fps_mode passthrough -f image2pipe -c:v rawvideo -pix_fmt yuv420p "$WORK/dec.yuv"
  ffmpeg -nostdin -f rawvideo -pix_fmt yuv420p -s "$2" -r 25 -i "$WORK/dec.yuv" \
    -f rawvideo -pix_fmt yuv420p -s "$2" -r 25 -i "$3" -lavfi "[0:v][1:v]psnr" -f null - 2>&1 |
    sed -n 's/.*PSNR y:\([0-9.inf]*\).*/\1/p' | tail -1
}

run_case() {
  local size=$1 frames=$2 source=${3:-testsrc2} name="${3:-testsrc2} $1x$2"
  local avi="$WORK/$source$size.avi" planes="$WORK/$source$size.yuv"
  ffmpeg -nostdin -v error -y -f lavfi -i "$source=size=$size:rate=25" -frames:v "$frames" \
    -c:v rawvideo -pix_fmt bgr24 "$avi"
  "$CLI" encode-video --threads 1 --dump-planes "$planes" "$avi" "$WORK/dump.m1v" 2>/dev/null

  local ff=(ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt yuv420p -s "$size" -r 25 -i "$planes"
            -c:v mpeg1video -b:v 1228800 -g 12 -bf 2)
  local o1 o1w o2 f1 f1w f2
  timed "$CLI" encode-video --threads 1 "$avi" "$WORK/ours1.m1v"
  o1=$(per_s "$frames" "${TIMED#* }"); o1w=$(per_s "$frames" "${TIMED%% *}")
  timed "$CLI" encode-video --threads 2 "$avi" "$WORK/ours2.m1v"
  o2=$(per_s "$frames" "${TIMED%% *}")
  timed "${ff[@]}" -threads 1 "$WORK/ff1.m1v"
  f1=$(per_s "$frames" "${TIMED#* }"); f1w=$(per_s "$frames" "${TIMED%% *}")
  timed "${ff[@]}" -threads 2 "$WORK/ff2.m1v"
  f2=$(per_s "$frames" "${TIMED%% *}")
  cmp -s "$WORK/ours1.m1v" "$WORK/ours2.m1v" || echo "  WARNING: --threads 1 and 2 differ"

  echo "$name: 1 thread (CPU time): ours $o1 fps, ffmpeg $f1 fps (wall: $o1w, $f1w);" \
       "2 threads (wall): ours $o2 fps, ffmpeg $f2 fps"
  awk -v a="$o1" -v b="$f1" -v c="$o2" -v d="$f2" \
    'BEGIN { printf "  fps ratio ours/ffmpeg: %.2f (1 thread), %.2f (2 threads)\n", a / b, c / d }'
  echo "  bit rate: ours $(rate "$WORK/ours1.m1v" "$frames") bit/s, ffmpeg $(rate "$WORK/ff1.m1v" "$frames") bit/s (target 1228800)"
  echo "  PSNR-Y: ours $(psnr_y "$WORK/ours1.m1v" "$size" "$planes") dB, ffmpeg $(psnr_y "$WORK/ff1.m1v" "$size" "$planes") dB"
}

run_case 320x240 500
run_case 640x480 300
run_case 640x480 150 mandelbrot

#!/usr/bin/env bash
# Writes the fixed AVIs of the golden-stream test into DIR, from ffmpeg's test sources
# through its rawvideo and PCM paths only; bitexact keeps ffmpeg's version out of the files.
# 32-bit frames are bgra: the AVI muxer refuses bgr0, and the fourth byte is ignored anyway.
# Usage: make_inputs.sh DIR
set -euo pipefail
DIR=${1:?usage: make_inputs.sh DIR}
mkdir -p "$DIR"

# make NAME VIDEO_SOURCE FPS FRAMES PIX_FMT [AUDIO_RATE AUDIO_CODEC CHANNELS]
make() {
  local name=$1 video=$2 fps=$3 frames=$4 pix=$5
  # Both sources end by their own length: a frame count on the output would cut the
  # sound wherever the interleaving happened to be, different from run to run.
  local seconds
  seconds=$(awk -v n="$frames" -v r="$fps" 'BEGIN { printf "%.6f", n / r }')
  local args=(-f lavfi -t "$seconds" -i "$video:rate=$fps")
  local codec=()
  if [ $# -gt 5 ]; then
    args+=(-f lavfi -t "$seconds" -i "sine=frequency=440:beep_factor=3:sample_rate=$6")
    codec=(-c:a "$7" -ac "$8")
  fi
  ffmpeg -nostdin -v error -y "${args[@]}" -c:v rawvideo -pix_fmt "$pix" \
    "${codec[@]}" -fflags +bitexact -flags:v +bitexact -flags:a +bitexact "$DIR/$name.avi"
}

make pal8_330x241_15fps_u8_11k_mono "testsrc2=size=330x241" 15 8 pal8 11025 pcm_u8 1
make rgb555_10x10_10fps_s16_22k_stereo "testsrc2=size=10x10" 10 6 rgb555le 22050 pcm_s16le 2
make bgr24_176x144_25fps_s16_44k_stereo "mandelbrot=size=176x144" 25 30 bgr24 44100 pcm_s16le 2
make bgra_160x120_20fps_u8_44k_stereo "testsrc2=size=160x120" 20 16 bgra 44100 pcm_u8 2
make bgr24_96x64_25fps_s16_11k_stereo "testsrc=size=96x64" 25 20 bgr24 11025 pcm_s16le 2
make rgb555_64x48_25fps_u8_22k_mono "testsrc2=size=64x48" 25 14 rgb555le 22050 pcm_u8 1
make bgr24_48x32_15fps_silent "testsrc2=size=48x32" 15 10 bgr24

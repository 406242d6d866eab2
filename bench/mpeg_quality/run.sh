#!/usr/bin/env bash
# Quality at one rate: our default and --quality high against ffmpeg's mpeg1video with
# its defaults and with -mbd rd -trellis 1, all at 1,228,800 bit/s, -g 12 -bf 2, on the
# clips of bench/clips.sh. PSNR-Y and SSIM (all planes) of each decode against the very
# planes we coded (--dump-planes), frame-aligned by index; achieved rate; CPU seconds.
# Usage: bench/mpeg_quality/run.sh BIN_DIR [FRAMES]
set -euo pipefail
BIN=${1:?usage: run.sh BIN_DIR [FRAMES]}
FRAMES=${2:-150}
CLI="$BIN/zerarive-cli"
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
"$HERE/../clips.sh" "$WORK" "$FRAMES"

cpu() {
  local out
  out=$( { TIMEFORMAT='%U %S'; time "$@" >/dev/null 2>&1; } 2>&1 | tail -1)
  awk '{ printf "%.2f", $1 + $2 }' <<<"$out"
}
# "PSNR-Y SSIM" of stream $1 against planes $3 of size $2.
score() {
  ffmpeg -nostdin -v error -y -i "$1" -fps_mode passthrough -f image2pipe -c:v rawvideo \
    -pix_fmt yuv420p "$WORK/dec.yuv"
  local raw=(-f rawvideo -pix_fmt yuv420p -s "$2" -r 25)
  local p s
  p=$(ffmpeg -nostdin "${raw[@]}" -i "$WORK/dec.yuv" "${raw[@]}" -i "$3" -lavfi "[0:v][1:v]psnr" \
      -f null - 2>&1 | sed -n 's/.*PSNR y:\([0-9.inf]*\).*/\1/p' | tail -1)
  s=$(ffmpeg -nostdin "${raw[@]}" -i "$WORK/dec.yuv" "${raw[@]}" -i "$3" -lavfi "[0:v][1:v]ssim" \
      -f null - 2>&1 | sed -n 's/.*All:\([0-9.]*\).*/\1/p' | tail -1)
  echo "$p $s"
}
rate() { awk -v b="$(stat -c %s "$1")" -v n="$FRAMES" 'BEGIN { printf "%.0f", b * 8 / (n / 25) }'; }

printf "%-11s %-16s %8s %7s %10s %7s %6s\n" clip encoder PSNR-Y SSIM "bit/s" "rate%" "cpu s"
for clip in testsrc2 photopan mandelbrot fastpan; do
  avi="$WORK/$clip.avi" planes="$WORK/$clip.yuv"
  size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=s=x:p=0 "$avi")
  "$CLI" encode-video --threads 1 --dump-planes "$planes" "$avi" "$WORK/x.m1v" >/dev/null 2>&1
  ff=(ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt yuv420p -s "$size" -r 25 -i "$planes"
      -c:v mpeg1video -b:v 1228800 -g 12 -bf 2 -threads 1)
  declare -A t
  t[ours-default]=$(cpu "$CLI" encode-video --threads 1 "$avi" "$WORK/ours-default.m1v")
  t[ours-high]=$(cpu "$CLI" encode-video --threads 1 --quality high "$avi" "$WORK/ours-high.m1v")
  t[ffmpeg]=$(cpu "${ff[@]}" "$WORK/ffmpeg.m1v")
  t[ffmpeg-rd]=$(cpu "${ff[@]}" -mbd rd -trellis 1 "$WORK/ffmpeg-rd.m1v")
  for enc in ours-default ours-high ffmpeg ffmpeg-rd; do
    read -r p s < <(score "$WORK/$enc.m1v" "$size" "$planes")
    r=$(rate "$WORK/$enc.m1v")
    printf "%-11s %-16s %8s %7s %10s %+6.1f%% %6s\n" "$clip" "$enc" "$p" "$s" "$r" \
      "$(awk -v r="$r" 'BEGIN { print (r / 1228800 - 1) * 100 }')" "${t[$enc]}"
  done
  awk -v h="${t[ours-high]}" -v d="${t[ours-default]}" \
    'BEGIN { printf "%-11s high / default CPU time: %.2f\n", "", h / d }'
done

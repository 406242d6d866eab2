#!/usr/bin/env bash
# Quick AVI Create over numbered 320x240 JPEG frames, ours against the ffmpeg CLI in the
# same run, uncompressed 24-bit ("DIB ") and Video 1 ("msvc"), at 200 and 2,000 frames.
# Prints the time ratios (ours / ffmpeg) and our peak RSS, which should not grow with the
# number of frames: the images are loaded one at a time.
# Usage: bench/quick_avi/run.sh BIN_DIR      (RUNS=N: best of N timings, default 2)
set -euo pipefail
bin=${1:-build/bin}
cli="$bin/zerarive-cli"
[ -x "$cli" ] || { echo "quick_avi: $cli not built" >&2; exit 1; }
for tool in ffmpeg ffprobe /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "quick_avi: $tool is missing" >&2; exit 1; }
done
runs=${RUNS:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/f2000" "$work/f200"
ffmpeg -v error -f lavfi -i "testsrc2=size=320x240:rate=25" -frames:v 2000 "$work/f2000/Img%04d.jpg"
for i in $(seq 1 200); do
  n=$(printf 'Img%04d.jpg' "$i")
  ln "$work/f2000/$n" "$work/f200/$n"
done

source "$(dirname "${BASH_SOURCE[0]}")/../measure.sh"
# Every run writes a new file: ffmpeg truncates an old output when it opens it and reuses
# its pages at once, while we keep it until the new file is complete, so repeated runs
# into one name would time the page cache's refill for us alone.
fresh=(sh -c 'rm -f "$1"; shift; exec "$@"' sh)

frames_of() {
  ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
    -of csv=p=0 "$1"
}

status=0
declare -A peak
for codec in "DIB " msvc; do
  if [ "$codec" = msvc ]; then ffargs=(-c:v msvideo1); else ffargs=(-c:v rawvideo -pix_fmt bgr24); fi
  for frames in 200 2000; do
    read -r ot oc orss <<< "$(measure "${fresh[@]}" "$work/ours.avi" "$cli" quick "$work/f$frames" "$work/ours.avi" --compressor "$codec")"
    read -r ft fc _ <<< "$(measure "${fresh[@]}" "$work/ff.avi" ffmpeg -v error -y -framerate 10 -i "$work/f$frames/Img%04d.jpg" \
      "${ffargs[@]}" "$work/ff.avi")"
    got=$(frames_of "$work/ours.avi")
    if [ "$got" != "$frames" ]; then
      echo "quick_avi: ${codec% } at $frames frames: ffprobe counts $got frames" >&2
      status=1
    fi
    peak["$codec$frames"]=$orss
    awk -v c="${codec% }" -v n="$frames" -v o="$ot" -v f="$ft" -v oc="$oc" -v fc="$fc" \
        -v r="$orss" 'BEGIN{
      printf "%-5s %5d frames  wall ours %6.2f s ffmpeg %6.2f s ratio %.2f" \
             "  cpu ours %6.2f s ffmpeg %6.2f s ratio %.2f  our peak RSS %.1f MB\n",
             c, n, o, f, (f > 0 ? o / f : 0), oc, fc, (fc > 0 ? oc / fc : 0), r / 1024 }'
  done
  awk -v c="${codec% }" -v a="${peak[${codec}200]}" -v b="${peak[${codec}2000]}" 'BEGIN{
    printf "%-5s peak RSS 2000 / 200 frames: %.2f\n", c, (a > 0 ? b / a : 0) }'
done
echo "(ratio = our time / ffmpeg time: below 1.0 we are faster)"
exit $status

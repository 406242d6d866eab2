#!/usr/bin/env bash
# 300 JPEG frames of 640x480 into an AVI, ours against the ffmpeg CLI in the same run:
# Video 1 ("msvc") and uncompressed 24-bit. Prints the time ratios and our peak RSS.
# Usage: bench/create_avi/run.sh BIN_DIR
set -euo pipefail
bin=${1:-build/bin}
cli="$bin/zerarive-cli"
[ -x "$cli" ] || { echo "create_avi: $cli not built" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
frames=${FRAMES:-300}

ffmpeg -v error -f lavfi -i "testsrc2=s=640x480:r=10" -frames:v "$frames" -q:v 3 "$work/img%04d.jpg"
{
  echo "[General]"
  echo "Output=$work/ours.avi"
  echo "FPS=10"
  echo "BPP=24"
  echo "[Logo]"
  echo "bUseLogo=0"
  echo "[Images]"
  for i in $(seq 1 "$frames"); do printf '%d=%s/img%04d.jpg\n' $((i - 1)) "$work" "$i"; done
} > "$work/job.ini"

source "$(dirname "${BASH_SOURCE[0]}")/../measure.sh"
# Every run writes a new file: ffmpeg truncates an old output when it opens it and reuses
# its pages at once, while we keep it until the new file is complete, so repeated runs
# into one name would time the page cache's refill for us alone.
fresh=(sh -c 'rm -f "$1"; shift; exec "$@"' sh)

guard_failed=0
report() {
  local name=$1 ours=$2 theirs=$3
  read -r ot oc orss <<< "$ours"
  # More frames than the 100 of the guard only make it stricter.
  if [ "$orss" -gt $((100 * 1024)) ]; then
    echo "create_avi: $name peak RSS $((orss / 1024)) MB is above 100 MB" >&2
    guard_failed=1
  fi
  read -r ft fc _ <<< "$theirs"
  awk -v n="$name" -v o="$ot" -v f="$ft" -v oc="$oc" -v fc="$fc" -v r="$orss" \
    'BEGIN{printf "%-13s ours %6.2f s  ffmpeg %6.2f s  time ratio %.2f  CPU ratio %.2f  our peak RSS %.1f MB\n", n, o, f, (f > 0 ? o / f : 0), (fc > 0 ? oc / fc : 0), r / 1024}'
}

ours=$(measure "${fresh[@]}" "$work/ours.avi" "$cli" job "$work/job.ini" --compressor msvc)
theirs=$(measure "${fresh[@]}" "$work/ff.avi" ffmpeg -v error -y -framerate 10 -i "$work/img%04d.jpg" -c:v msvideo1 "$work/ff.avi")
report "msvc" "$ours" "$theirs"

ours=$(measure "${fresh[@]}" "$work/ours.avi" "$cli" job "$work/job.ini" --compressor DIB)
theirs=$(measure "${fresh[@]}" "$work/ff.avi" ffmpeg -v error -y -framerate 10 -i "$work/img%04d.jpg" -c:v rawvideo -pix_fmt bgr24 "$work/ff.avi")
report "DIB (24-bit)" "$ours" "$theirs"

# The pipelined writer must give the same file as the serial one; checked in the tests,
# here only that the result is a valid AVI of every frame.
n=$(ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "$work/ours.avi")
[ "$n" = "$frames" ] || { echo "create_avi: expected $frames frames, got $n" >&2; exit 1; }
echo "(time ratio = our time / ffmpeg time: below 1.0 we are faster; CPU ratio likewise)"
[ "$guard_failed" = 0 ]

#!/usr/bin/env bash
# 300 JPEG pictures of 640x480, one frame each at 10 fps: our export to MP4 and GIF
# against the ffmpeg CLI with the same encoders, in one run. Prints wall and CPU ratios,
# the size ratio, our peak RSS at 300 and 3,000 frames, and how much a per-entry-delay
# GIF saves over a constant-rate one for a project with repeated frames.
# Usage: bench/export/run.sh BIN_DIR
set -euo pipefail
bin=${1:-build/bin}
cli="$bin/zerarive-cli"
[ -x "$cli" ] || { echo "export: $cli not built" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

make_project() {  # FRAMES NAME [COUNTS...]
  local n=$1 name=$2
  shift 2
  local counts=("$@")
  ffmpeg -v error -y -f lavfi -i "testsrc2=s=640x480:r=10" -frames:v "$n" -q:v 3 "$work/$name%04d.jpg"
  rm -f "$work/$name.tvf"
  local args=()
  for i in $(seq 1 "$n"); do args+=("$work/$(printf '%s%04d.jpg' "$name" "$i")"); done
  if [ ${#counts[@]} -eq 0 ]; then
    "$cli" project "$work/$name.tvf" --add "${args[@]}" --fps 10 > /dev/null
  else
    for i in $(seq 0 $((n - 1))); do
      "$cli" project "$work/$name.tvf" --add "${args[$i]}" --frames "${counts[$((i % ${#counts[@]}))]}" \
        --fps 10 > /dev/null
    done
  fi
}

source "$(dirname "${BASH_SOURCE[0]}")/../measure.sh"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.2f", (b > 0 ? a / b : 0)}'; }

make_project 300 p
read -r ot oc orss < <(measure "$cli" export "$work/p.tvf" "$work/ours.mp4")
read -r ft fc _ < <(measure ffmpeg -v error -y -framerate 10 -i "$work/p%04d.jpg" -c:v libx264 -crf 18 \
  -preset medium -pix_fmt yuv420p "$work/theirs.mp4")
echo "mp4: wall $(ratio "$ot" "$ft"), cpu $(ratio "$oc" "$fc"), size $(ratio "$(stat -c%s "$work/ours.mp4")" \
  "$(stat -c%s "$work/theirs.mp4")") of ffmpeg's; peak RSS $((orss / 1024)) MB"

read -r ot oc grss < <(measure "$cli" export "$work/p.tvf" "$work/ours.gif")
gif_ffmpeg() {
  ffmpeg -v error -y -framerate 10 -i "$work/p%04d.jpg" -vf palettegen "$work/pal.png" &&
    ffmpeg -v error -y -framerate 10 -i "$work/p%04d.jpg" -i "$work/pal.png" -lavfi paletteuse "$work/theirs.gif"
}
read -r ft fc _ < <(measure bash -c "$(declare -f gif_ffmpeg); work=$work; gif_ffmpeg")
echo "gif: wall $(ratio "$ot" "$ft"), cpu $(ratio "$oc" "$fc"), size $(ratio "$(stat -c%s "$work/ours.gif")" \
  "$(stat -c%s "$work/theirs.gif")") of ffmpeg's; peak RSS $((grss / 1024)) MB"

if [ "${LONG:-1}" = 1 ]; then
  make_project 3000 q
  read -r _ _ rss < <(measure "$cli" export "$work/q.tvf" "$work/long.mp4")
  echo "mp4 peak RSS: $((orss / 1024)) MB at 300 frames, $((rss / 1024)) MB at 3000"
fi

make_project 40 r 1 5 2 10
"$cli" export "$work/r.tvf" "$work/delays.gif" > /dev/null 2>&1
"$cli" create "$work/r.tvf" "$work/r.avi" --compressor DIB > /dev/null 2>&1
ffmpeg -v error -y -i "$work/r.avi" -vf "split[a][b];[a]palettegen[p];[b][p]paletteuse" "$work/constant.gif"
echo "repeated frames: per-entry-delay GIF is $(ratio "$(stat -c%s "$work/delays.gif")" \
  "$(stat -c%s "$work/constant.gif")") of a constant-rate one"

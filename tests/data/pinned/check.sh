#!/usr/bin/env bash
# Pinned outputs: the demo job's AVI, its MPEG-1 conversion, every image writer's file and
# what extraction and morphing write must keep their SHA-256. The inputs are the committed
# examples, so only our own code can change these bytes; the AVI files carry the muxing
# library's version, so a different FFmpeg stops the test with "input changed" instead.
# Usage: check.sh ZERARIVE_CLI [--update]   (--update rewrites outputs.sha256)
set -euo pipefail
CLI=$(cd "$(dirname "${1:?usage: check.sh ZERARIVE_CLI [--update]}")" && pwd)/$(basename "$1")
UPDATE=${2:-}
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../../.." && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
# The job file names its inputs relative to the working folder.
ln -s "$ROOT/examples" examples
mkdir -p out/images out/frames out/morph out/quick
run() { "$CLI" "$@" >/dev/null 2>"$WORK/err" || { cat "$WORK/err" >&2; echo "failed: $*" >&2; exit 1; }; }

cp examples/demo.ini out/demo.ini
run job out/demo.ini
run convert --out out out/demo.avi
for src in examples/images/*.bmp; do
  name=$(basename "$src" .bmp)
  for ext in bmp pcx jpg tif png; do run image "$src" "out/images/$name.$ext"; done
done
run image "<LOGO" out/images/builtin-logo.bmp
run extract-images out/demo.avi --to out/frames
run extract-sound out/demo.avi out/demo-sound.wav
run extract-sound out/demo.avi out/demo-sound.avi
run morph examples/images/scene1.bmp examples/images/scene2.bmp --to out/morph --steps 3
for depth in 8 16 24; do
  mkdir -p "out/quick$depth"
  cp examples/images/scene1.bmp "out/quick$depth/Img0001.bmp"
  cp examples/images/scene2.bmp "out/quick$depth/Img0002.bmp"
  run quick "out/quick$depth" "out/quick/quick$depth.avi" --fps 5 --depth $depth \
    --sound examples/demo/chime.wav
done

lavf=$(grep -aoE 'Lavf[0-9.]+' out/demo.avi | head -n 1)
if [ "$UPDATE" = --update ]; then
  echo "$lavf" >"$HERE/muxer.version"
elif [ "$lavf" != "$(cat "$HERE/muxer.version")" ]; then
  echo "input changed: the AVI files were pinned with $(cat "$HERE/muxer.version"), this is $lavf; check them, then run with --update" >&2
  exit 1
fi
(cd out && find . -type f ! -name demo.ini ! -path './quick[0-9]*' | LC_ALL=C sort |
  xargs sha256sum --) >"$WORK/outputs.sha256"
if [ "$UPDATE" = --update ]; then
  cp "$WORK/outputs.sha256" "$HERE/outputs.sha256"
  exit 0
fi
if ! diff -u "$HERE/outputs.sha256" "$WORK/outputs.sha256"; then
  echo "pinned outputs changed: these files must stay the same bytes" >&2
  exit 1
fi

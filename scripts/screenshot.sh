#!/usr/bin/env bash
# Starts the desktop program under Xvfb with a sample project and saves PNGs of the main
# window, of each dialog and of the progress windows of long work (with their Cancel)
# into out/screens/.
#   scripts/screenshot.sh [BIN_DIR]      (default: build/bin)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
bin="${1:-$root/build/bin}"
program="$bin/zerarive"
[ -x "$program" ] || { echo "screenshot: no $program (build first)" >&2; exit 1; }
for tool in Xvfb convert ffmpeg; do
  command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

out="$root/out/screens"
sample="$root/out/screens-sample"
mkdir -p "$out" "$sample"

# A small sample project: five pictures of one size, one of another, a logo and a sound.
convert -size 240x180 gradient:'#1f5fa8-#9fd3ff' -fill '#ffd23f' -draw 'circle 70,90 70,60' "$sample/img01.png"
convert -size 240x180 gradient:'#1f5fa8-#9fd3ff' -fill '#ffd23f' -draw 'circle 120,80 120,50' "$sample/img02.png"
convert -size 240x180 gradient:'#1f5fa8-#9fd3ff' -fill '#ffd23f' -draw 'circle 170,90 170,60' "$sample/img03.png"
convert -size 240x180 gradient:'#1f5fa8-#9fd3ff' -fill '#ffd23f' -draw 'circle 190,110 190,80' "$sample/img04.png"
convert -size 240x180 gradient:'#1f5fa8-#9fd3ff' -fill '#ffd23f' -draw 'circle 200,140 200,110' "$sample/img05.png"
convert -size 120x90 xc:'#c03030' -fill white -draw 'rectangle 20,20 100,70' "$sample/small.bmp"
convert -size 48x24 xc:white -fill '#202060' -draw 'rectangle 2,2 45,21' -fill white \
  -draw 'rectangle 8,8 40,16' "$sample/logo.bmp"
ffmpeg -loglevel error -y -f lavfi -i "sine=frequency=440:duration=2" -ac 1 -ar 22050 "$sample/tone.wav"
ffmpeg -loglevel error -y -f lavfi -i "testsrc=size=240x180:rate=10:duration=2" \
  -f lavfi -i "sine=frequency=660:duration=2" -c:v mjpeg -q:v 3 -c:a pcm_s16le -shortest "$sample/sample.avi"

cat > "$sample/sample.ini" <<INI
[General]
FPS=10
BPP=24
Sound=$sample/tone.wav
ImportPath=$sample/
SavePath=$sample/

[Logo]
bUseLogo=1
nXPos=8
nYPos=8
sLogoFile=$sample/logo.bmp

[Images]
0=$sample/img01.png
1=$sample/img02.png
2=$sample/img03.png
3=$sample/img04.png
4=$sample/img05.png
5=$sample/small.bmp
INI

display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
sleep 1

rm -f "$out"/*.png
status=0
# Sanitizer builds: the desktop libraries keep a few blocks to the end on purpose.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}"
DISPLAY="$display" QT_QPA_PLATFORM=xcb "$program" --screenshots "$out" "$sample/small.bmp" \
  "$sample/sample.avi" "$sample/sample.ini" || status=$?
ls -1 "$out"
for name in main-window main-window-dark quick-avi-dialog morph-dialog converter-dialog help-window \
  work-progress-dialog extract-progress-dialog convert-progress-running convert-progress-done \
  failed-load-box; do
  [ -s "$out/$name.png" ] || { echo "screenshot: $name.png is missing" >&2; status=1; }
done
exit $status

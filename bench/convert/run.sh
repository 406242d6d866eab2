#!/usr/bin/env bash
# Batch conversion: four 20 s 320x240 AVIs with sound. Two jobs against one (one thread
# each; the bytes must be identical), and our best setting against the ffmpeg CLI
# (mpeg1video at our video rate + mp2 128k in an MPEG-PS), all measured in this run.
set -euo pipefail
bin=$(cd "${1:-build/bin}" && pwd)
cli="$bin/zerarive-cli"
[ -x "$cli" ] || { echo "no $cli" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

for i in 1 2 3 4; do
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=320x240:rate=25,hue=h=$((i * 40))" \
    -f lavfi -i "sine=f=$((300 + i * 110)):r=44100" -t 20 -ac 2 \
    -c:v mjpeg -q:v 2 -pix_fmt yuvj420p -c:a pcm_s16le "in$i.avi"
done
inputs=(in1.avi in2.avi in3.avi in4.avi)

seconds() { local s e; s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N); echo "$e - $s" | bc -l; }
ratio() { printf '%.2f' "$(echo "$1 / $2" | bc -l)"; }

mkdir one two best ff
t_one=$(seconds "$cli" convert --jobs 1 --threads 1 --out one "${inputs[@]}")
t_two=$(seconds "$cli" convert --jobs 2 --threads 1 --out two "${inputs[@]}")
same=yes
for i in 1 2 3 4; do cmp -s "one/in$i.mpg" "two/in$i.mpg" || same=no; done
t_best=$t_two
t_ff=$(seconds bash -c 'for i in 1 2 3 4; do ffmpeg -v error -y -i in$i.avi -c:v mpeg1video -b:v 1064960 -c:a mp2 -b:a 128k -f mpeg ff/in$i.mpg || exit 1; done')

printf 'convert --jobs 1 --threads 1: %6.2f s\n' "$t_one"
printf 'convert --jobs 2 --threads 1: %6.2f s   speed-up x%s (goal >= 1.7)   identical bytes: %s\n' \
  "$t_two" "$(ratio "$t_one" "$t_two")" "$same"
printf 'ffmpeg per file, sequential:  %6.2f s   speed of ours (--jobs 2) vs ffmpeg: x%s (above 1: ours faster)\n' \
  "$t_ff" "$(ratio "$t_ff" "$t_best")"
for i in 1; do
  printf 'sizes of in%s: ours %s bytes, ffmpeg %s bytes\n' "$i" "$(stat -c %s one/in$i.mpg)" "$(stat -c %s ff/in$i.mpg)"
done
# Peak memory on a long input: ten minutes of 640x480 at 10 fps with sound.
ffmpeg -v error -y -f lavfi -i "testsrc2=size=640x480:rate=10" -f lavfi -i "sine=f=440:r=44100" \
  -t 600 -ac 2 -c:v mjpeg -q:v 5 -pix_fmt yuvj420p -c:a pcm_s16le long.avi
mkdir long
/usr/bin/time -f "%M" -o long.rss "$cli" convert --jobs 1 --out long long.avi >/dev/null 2>&1
rss=$(tail -1 long.rss)
printf 'convert of a 10-minute 640x480 AVI: peak RSS %.1f MB (guard 64 MB)\n' "$(echo "$rss / 1024" | bc -l)"
[ "$same" = yes ] && [ "$rss" -le $((64 * 1024)) ]

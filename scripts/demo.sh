#!/usr/bin/env bash
# The bundled demonstration: converts the example images with zerarive-cli into out/.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${ZR_BIN:-build/bin}
cli="$bin/zerarive-cli"
[ -x "$cli" ] || { echo "demo: $cli not built (run 'make build')" >&2; exit 1; }
mkdir -p out
for src in examples/images/*.bmp; do
  name=$(basename "$src" .bmp)
  "$cli" info "$src" | sed -n '1p;4p'
  for ext in bmp png; do
    if "$cli" image "$src" "out/$name.$ext"; then
      echo "  -> out/$name.$ext"
    else
      echo "  (no .$ext writer in this build)"
    fi
  done
done
"$cli" image "<LOGO" out/builtin-logo.bmp && echo "built-in logo -> out/builtin-logo.bmp"

# The bundled job: six example pictures, a logo and a short chime into out/demo.avi.
# The job file is copied so the run never writes into the checkout.
cp examples/demo.ini out/demo.ini
"$cli" job out/demo.ini
if command -v ffprobe >/dev/null; then
  ffprobe -v error -count_frames -show_entries \
    stream=codec_type,codec_name,width,height,r_frame_rate,nb_read_frames \
    -of compact=p=0 out/demo.avi
fi
echo "unattended job -> out/demo.avi"

# The converter: the demo AVI (10 fps, 16-bit 22.05 kHz sound) into an MPEG-1 system stream.
"$cli" convert out/demo.avi
if command -v ffprobe >/dev/null; then
  ffprobe -v error -count_frames -show_entries \
    stream=codec_name,nb_read_frames:format=format_name,duration -of compact=p=0 out/demo.mpg
fi
echo "MPEG-1 conversion -> out/demo.mpg"

#!/usr/bin/env bash
# Golden streams: the .m1v, .mp2 and .mpg written for the fixed inputs must keep their
# SHA-256. Fails with "input changed" when ffmpeg no longer makes the same inputs, so an
# ffmpeg update cannot pass or fail this test for the wrong reason.
# Usage: check.sh ZERARIVE_CLI [--update]   (--update rewrites both digest lists)
set -euo pipefail
CLI=${1:?usage: check.sh ZERARIVE_CLI [--update]}
UPDATE=${2:-}
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

"$HERE/make_inputs.sh" "$WORK/in"
(cd "$WORK/in" && sha256sum -- *.avi) >"$WORK/inputs.sha256"
if [ "$UPDATE" = --update ]; then
  cp "$WORK/inputs.sha256" "$HERE/inputs.sha256"
elif ! diff -u "$HERE/inputs.sha256" "$WORK/inputs.sha256"; then
  echo "input changed: ffmpeg made different golden inputs; check them, then run with --update" >&2
  exit 1
fi

mkdir -p "$WORK/out"
status=0
for avi in "$WORK"/in/*.avi; do
  name=$(basename "$avi" .avi)
  "$CLI" encode-video --threads 1 "$avi" "$WORK/out/$name.m1v" >/dev/null 2>&1
  # Any thread count must write the very same stream.
  for threads in 2 4; do
    "$CLI" encode-video --threads $threads "$avi" "$WORK/threads.m1v" >/dev/null 2>&1
    if ! cmp -s "$WORK/out/$name.m1v" "$WORK/threads.m1v"; then
      echo "$name: --threads $threads differs from --threads 1" >&2
      status=1
    fi
  done
  case $name in
    *silent) ;;
    *) "$CLI" encode-audio --quiet "$avi" "$WORK/out/$name.mp2" >/dev/null 2>&1 ;;
  esac
  "$CLI" convert --out "$WORK/out" "$avi" >/dev/null 2>&1
done
(cd "$WORK/out" && sha256sum -- *.m1v *.mp2 *.mpg) >"$WORK/outputs.sha256"
if [ "$UPDATE" = --update ]; then
  cp "$WORK/outputs.sha256" "$HERE/outputs.sha256"
  exit $status
fi
if ! diff -u "$HERE/outputs.sha256" "$WORK/outputs.sha256"; then
  echo "golden streams changed: the default output must stay the same bytes" >&2
  status=1
fi
exit $status

#!/usr/bin/env bash
# Runs every benchmark (bench/*/run.sh) against the release build in build/bin.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
for b in bench/*/run.sh; do
  [ -e "$b" ] || continue
  echo "== $(dirname "$b")"
  bash "$b" build/bin || status=1
done
exit $status

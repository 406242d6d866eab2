#!/usr/bin/env bash
# Minimises each target's corpus: fuzz/corpus/NAME becomes the smallest set of inputs from
# it and from the last run's build-fuzz/corpus/NAME that keeps the same coverage.
# Usage: fuzz/merge.sh [BIN] [TARGET...]
set -euo pipefail
bin=$(realpath "${1:-build-fuzz/bin}")
shift $(( $# < 1 ? $# : 1 ))
cd "$(dirname "$0")/.."
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$bin"/fuzz_*; do [ -x "$f" ] && targets+=("$(basename "$f")"); done
fi
for name in "${targets[@]}"; do
  short=${name#fuzz_}
  merged=build-fuzz/merged/$short
  rm -rf "$merged" && mkdir -p "$merged" "fuzz/corpus/$short" "build-fuzz/corpus/$short"
  "$bin/$name" -merge=1 -max_len=65536 -rss_limit_mb=2048 -timeout=60 \
      "$merged" "fuzz/corpus/$short" "build-fuzz/corpus/$short" > "build-fuzz/merge-$short.log" 2>&1
  rm -rf "fuzz/corpus/$short" && mv "$merged" "fuzz/corpus/$short"
  echo "$short: $(ls "fuzz/corpus/$short" | wc -l) inputs, $(du -sk "fuzz/corpus/$short" | cut -f1) KiB"
done

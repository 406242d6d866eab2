#!/usr/bin/env bash
# Runs each libFuzzer target for the given number of seconds, seeded from fuzz/corpus/NAME.
set -euo pipefail
bin=${1:-build-fuzz/bin}
seconds=${2:-60}
cd "$(dirname "$0")/.."
status=0
for f in "$bin"/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  seeds=fuzz/corpus/${name#fuzz_}
  work=build-fuzz/corpus/${name#fuzz_}
  mkdir -p "$work"
  echo "== $name for ${seconds}s"
  args=("$work")
  [ -d "$seeds" ] && args+=("$seeds")
  "$f" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -print_final_stats=1 \
      "${args[@]}" 2>&1 | grep -E 'stat::number_of_executed_units|ERROR|SUMMARY|crash-' || true
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
done
exit $status

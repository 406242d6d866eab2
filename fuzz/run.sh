#!/usr/bin/env bash
# Runs each libFuzzer target for the given number of seconds, PARALLEL at a time, seeded
# from fuzz/corpus/NAME. Crashes, leaks and timeouts do not stop a target: each lands in
# build-fuzz/artifacts/ and the run goes on. One summary line per target at the end.
# Usage: fuzz/run.sh [BIN] [SECONDS] [PARALLEL] [TARGET...]
set -euo pipefail
bin=$(realpath "${1:-build-fuzz/bin}")
seconds=${2:-60}
parallel=${3:-1}
shift $(( $# < 3 ? $# : 3 ))
cd "$(dirname "$0")/.."
out=build-fuzz
mkdir -p "$out/logs" "$out/artifacts" "$out/corpus"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$bin"/fuzz_*; do [ -x "$f" ] && targets+=("$(basename "$f")"); done
fi

run_one() {
  local name=$1 short=${1#fuzz_}
  local work=$out/corpus/$short seeds=fuzz/corpus/$short
  mkdir -p "$work"
  local args=("$work")
  [ -d "$seeds" ] && args+=("$seeds")
  # Fork mode keeps going past a crash so one run finds more than one fault.
  "$bin/$name" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
      -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -timeout=60 \
      -artifact_prefix="$out/artifacts/$short-" "${args[@]}" > "$out/logs/$short.log" 2>&1 || true
  local last
  last=$(grep -E '^#[0-9]+: cov:' "$out/logs/$short.log" | tail -1 || true)
  echo "$short: ${last:-no statistics (see $out/logs/$short.log)}"
}
export -f run_one
export bin seconds out

printf '%s\n' "${targets[@]}" | xargs -P "$parallel" -I{} bash -c 'run_one {}'
found=$(ls "$out/artifacts" | wc -l)
echo "artifacts in $out/artifacts: $found"
[ "$found" -eq 0 ]

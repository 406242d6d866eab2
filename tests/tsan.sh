#!/usr/bin/env bash
# The tests whose code runs on more than one thread, under the thread sanitizer build in
# BUILD (default build-tsan). Any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-tsan}
export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp:halt_on_error=1:exitcode=66:second_deadlock_stack=1"
export QT_QPA_PLATFORM=offscreen
# Program and filter: engines side by side and motion-search threads; the pipelined AVI
# writer and its failure messages; convert --jobs through the command-line program.
runs=(
  "test_mpeg EngineTest.*:AviToStreamThreads.*"
  "test_output Writer.*:Create.*:FailureMessages.*"
  "test_cli ConvertCommand.*"
)
passed=0 failed=0
for run in "${runs[@]}"; do
  read -r program filter <<<"$run"
  echo "== $program --gtest_filter=$filter"
  if "$build/bin/$program" --gtest_filter="$filter" --gtest_brief=1; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
done
echo "tsan: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

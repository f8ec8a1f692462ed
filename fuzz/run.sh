#!/usr/bin/env bash
# Runs every fuzz target for a while: bash fuzz/run.sh BUILD_DIR [SECONDS]
# (SECONDS per target, 12 unless given). New inputs that reach more code go
# to BUILD_DIR/corpus/<target>; the checked-in seeds stay as they are. Any
# sanitizer report or broken property ends the run with an error and leaves
# the input in BUILD_DIR/crashes/.
#
# The long run, e.g. an hour per target on all cores:
#   bash fuzz/run.sh build-fuzz 3600
set -euo pipefail
build=${1:?build folder}
seconds=${2:-12}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$build/crashes"
status=0
while read -r target; do
  [ -n "$target" ] || continue
  mkdir -p "$build/corpus/$target"
  echo "== $target (${seconds}s)"
  if ! "$build/$target" -max_total_time="$seconds" -max_len=8192 -timeout=10 -print_final_stats=0 \
      -artifact_prefix="$build/crashes/$target-" "$build/corpus/$target" "$here/seeds/$target" \
      >"$build/$target.log" 2>&1; then
    echo "$target: FAILED (see $build/$target.log)"
    tail -n 40 "$build/$target.log"
    status=1
  else
    grep -E "^#[0-9]+.*DONE|Done [0-9]+ runs" "$build/$target.log" | tail -n 1 || true
  fi
done <"$build/fuzz_targets.txt"
exit $status

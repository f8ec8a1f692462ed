#!/usr/bin/env bash
# Builds the benchmarks and runs them once, then prints their figures side
# by side, Linux and (when the Windows build and Wine are there) Wine:
#   bash bench/run.sh [UPLOAD_MIB]        (512 MiB unless given)
# Upload MB/s against the best plain socket-to-file copy of each platform
# (native on Linux; the Windows build's plain_copy.exe under the same Wine),
# and their ratio from the same run; start-up time to the first answered
# /ping, peak memory of the bridge, and GET /info timing. Benchmarks start
# bridges on the fixed ports, so each runs under the same lock as the
# end-to-end tests.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
upload_mib=${1:-512}
lock=/tmp/talvik-e2e.lock
results=$(mktemp)
trap 'rm -f "$results"' EXIT

echo "== Building the benchmarks (build-bench)"
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTALVIK_BUILD_BENCH=ON >/dev/null
cmake --build build-bench -j"$(nproc)" >/dev/null

wine_dir=""
if [ -f build-win/talvik-web-bridge.exe ] && [ -f build-win/tests/tool_double.exe ] &&
  [ -f build-win/bench/plain_copy.exe ] && command -v wine >/dev/null; then
  wine_dir=$root/build-win
  # Wine's server started outside the lock, so that it does not keep the
  # lock's descriptor once the benchmarks are done.
  export WINEPREFIX=$wine_dir/wineprefix WINEDEBUG=-all
  unset DISPLAY
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  fi
  (wineserver -p </dev/null >/dev/null 2>&1 &)
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
else
  echo "(no Windows build in build-win or no Wine: Linux figures only)"
fi

# run LABEL PROGRAM ARGS...: runs one benchmark under the lock, shows its
# output and keeps its RESULT lines.
run() {
  local label=$1
  shift
  echo "== $label"
  flock -o "$lock" "$@" | tee -a "$results" | grep -v '^RESULT '
}

# The uploads land in a memory file system when there is one: the figures are
# then the socket-to-file path itself, not the disk's write-back.
[ -d /dev/shm ] && export TALVIK_TEST_ROOT=/dev/shm
run "upload, Linux bridge" build-bench/bench/upload_bench "$upload_mib"
unset TALVIK_TEST_ROOT
run "start-up, Linux bridge" build-bench/bench/startup_bench
run "GET /info, Linux bridge" build-bench/bench/info_bench
if [ -n "$wine_dir" ]; then
  export TALVIK_WINE_DIR=$wine_dir
  [ -d /dev/shm ] && export TALVIK_TEST_ROOT=/dev/shm
  run "upload, Windows bridge under Wine" build-bench/bench/upload_bench "$upload_mib"
  unset TALVIK_TEST_ROOT
  run "start-up, Windows bridge under Wine" build-bench/bench/startup_bench
  run "GET /info, Windows bridge under Wine" build-bench/bench/info_bench
  unset TALVIK_WINE_DIR
  wineserver -k >/dev/null 2>&1 || true
fi

echo
echo "== Machine"
echo "  $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores," \
  "$(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo) memory, Linux $(uname -r)"
[ -n "$wine_dir" ] && echo "  $(wine --version 2>/dev/null)"
echo
echo "== Figures (upload of $upload_mib MiB)"
# RESULT <name>[_linux|_wine] <value> <unit>: one row per name, a column each.
awk '$1 == "RESULT" {
  name = $2; column = "both"
  if (name ~ /_linux$/) { column = "linux"; sub(/_linux$/, "", name) }
  else if (name ~ /_wine$/) { column = "wine"; sub(/_wine$/, "", name) }
  if (!(name in seen)) { seen[name] = 1; order[++n] = name }
  value[name, column] = $3 " " $4
}
END {
  printf "  %-24s %16s %16s\n", "", "Linux", "Wine"
  for (i = 1; i <= n; ++i) {
    name = order[i]
    if ((name, "both") in value) {
      printf "  %-24s %16s %16s\n", name, value[name, "both"], "(same)"
    } else {
      linux = (name, "linux") in value ? value[name, "linux"] : "-"
      wine = (name, "wine") in value ? value[name, "wine"] : "-"
      printf "  %-24s %16s %16s\n", name, linux, wine
    }
  }
}' "$results"

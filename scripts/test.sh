#!/usr/bin/env bash
# Installs what the tests need, checks that the folders include one way
# (scripts/check-floors.sh), builds the Linux and the Windows binaries, and
# runs every test: unit tests on Linux and under Wine, the end-to-end suite
# against both binaries, the page served beside the bridge by scripts/run.sh, the browser suite (headless Chromium and Firefox against
# both binaries), then a short fuzz run. The suites use fixed loopback ports
# (9765-9769, 8080, 8081): on a shared machine run the whole script under
# `flock /tmp/talvik-e2e.lock`.
set -euo pipefail
cd "$(dirname "$0")/.."
# `scripts/test.sh --repeat N [--load] SUITE...` runs only the named suites,
# N times in a row (see scripts/repeat.sh).
if [ "${1:-}" = --repeat ]; then
  shift
  exec bash scripts/repeat.sh "$@"
fi
root=$PWD
jobs=$(nproc)

bash scripts/install-deps.sh

passed=0
failed=0
# Runs one suite; a failing suite is counted and the others still run.
suite() {
  local name=$1
  shift
  echo "== $name"
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "== FAILED: $name"
  fi
}

# Each folder includes only its own floor and those below it.
suite "Layout: floors" bash scripts/check-floors.sh

echo "== Windows build (MinGW-w64)"
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-win -j"$jobs"

echo "== Linux build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTALVIK_WINE_BUILD_DIR="$root/build-win" >/dev/null
cmake --build build -j"$jobs"

# A Wine prefix of our own, headless, with its server started detached so it
# does not hold the tests' pipes open.
export WINEPREFIX="$root/build-win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
wineserver -p </dev/null >/dev/null 2>&1 &
# Wait until the server answers, so the first test does not pay for it.
wine cmd /c exit </dev/null >/dev/null 2>&1 || true

suite "Windows unit tests under Wine" bash -c 'cd build-win && ctest --output-on-failure'
suite "Linux unit tests and end-to-end tests (Linux and Wine bridges)" bash -c 'cd build && ctest --output-on-failure'
suite "Page served beside the bridge, and its server (scripts/serve-and-start.sh, scripts/serve_web.py)" bash -c \
  'cd tests/scripts && node --test --test-concurrency=1'
suite "Browser suite: Linux bridge" bash -c \
  'cd tests/browser && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error && node --test --test-concurrency=1'
suite "Browser suite: Windows bridge under Wine" bash -c \
  "cd tests/browser && TALVIK_WINE_DIR='$root/build-win' node --test --test-concurrency=1"
wineserver -k >/dev/null 2>&1 || true

# A short fuzz run of every target (12 s each, under two minutes); the long
# run is described in fuzz/run.sh.
suite "Fuzz targets (short run)" bash -c \
  "CC=clang CXX=clang++ cmake -S fuzz -B build-fuzz >/dev/null && cmake --build build-fuzz -j$jobs && bash fuzz/run.sh build-fuzz 12"

echo "suites: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

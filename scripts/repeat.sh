#!/usr/bin/env bash
# Runs test suites several times in a row, to catch tests that pass only
# sometimes:
#   scripts/repeat.sh N [--load] SUITE...
#   scripts/test.sh --repeat N [--load] SUITE...   (the same)
# SUITE is one of
#   unit            Linux unit tests
#   unit-wine       Windows unit tests under Wine
#   e2e-linux       end-to-end tests against the Linux bridge
#   e2e-wine        end-to-end tests against the Windows bridge under Wine
#   e2e             both end-to-end suites, as one
#   scripts         the page served beside the bridge (scripts/serve-and-start.sh)
#   browser-linux   the browser suite against the Linux bridge
#   browser-wine    the browser suite against the Windows bridge under Wine
# With --load two busy processes keep two cores occupied all the while, as
# on a slow or shared machine; they are ended however the script ends.
#
# Nothing is installed (run scripts/install-deps.sh once before). The
# builds the suites need are brought up to date once at the start, the
# browser suite's packages installed once when missing; then run 1 runs
# every named suite, then run 2, and so on. Each suite's pass or fail is
# printed as it ends and its output kept in build/repeat/; at the end the
# runs that failed are listed. The exit status is 0 only when every run of
# every suite passed. The suites use fixed loopback ports (9765-9769, 8080,
# 8081): on a shared machine run this under `flock /tmp/talvik-e2e.lock`.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

usage() {
  sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

[ $# -ge 2 ] || usage
runs=$1
shift
[[ $runs =~ ^[1-9][0-9]*$ ]] || usage
load=0
suites=()
for arg in "$@"; do
  case "$arg" in
    --load) load=1 ;;
    unit | unit-wine | e2e | e2e-linux | e2e-wine | scripts | browser-linux | browser-wine) suites+=("$arg") ;;
    *)
      echo "unknown suite: $arg" >&2
      usage
      ;;
  esac
done
[ ${#suites[@]} -gt 0 ] || usage

needs() { # true when one of the named suites is one of "$@"
  local s n
  for s in "${suites[@]}"; do
    for n in "$@"; do [ "$s" = "$n" ] && return 0; done
  done
  return 1
}

# The command line of one suite, run from the repository's root.
suite_command() {
  case "$1" in
    unit) echo "cd build && ctest --output-on-failure -R '^unit\\.'" ;;
    unit-wine) echo "cd build-win && ctest --output-on-failure" ;;
    e2e) echo "cd build && ctest --output-on-failure -R '^(linux|wine)\\.'" ;;
    e2e-linux) echo "cd build && ctest --output-on-failure -R '^linux\\.'" ;;
    e2e-wine) echo "cd build && ctest --output-on-failure -R '^wine\\.'" ;;
    scripts) echo "cd tests/scripts && node --test --test-concurrency=1" ;;
    browser-linux) echo "cd tests/browser && node --test --test-concurrency=1" ;;
    browser-wine) echo "cd tests/browser && TALVIK_WINE_DIR='$root/build-win' node --test --test-concurrency=1" ;;
  esac
}

busy=()
suite_pid=
wine_started=0
cleanup() {
  trap - EXIT INT TERM HUP
  set +e
  # A suite still running is ended with everything it started.
  if [ -n "$suite_pid" ]; then
    kill -TERM -- -"$suite_pid" 2>/dev/null
    wait "$suite_pid" 2>/dev/null
  fi
  for pid in "${busy[@]}"; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  [ "$wine_started" = 1 ] && wineserver -k >/dev/null 2>&1
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

jobs=$(nproc)
if needs unit-wine e2e e2e-wine browser-wine; then
  echo "== Windows build (MinGW-w64)"
  cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build-win -j"$jobs"
fi
if needs unit e2e e2e-linux e2e-wine scripts browser-linux; then
  echo "== Linux build"
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTALVIK_WINE_BUILD_DIR="$root/build-win" >/dev/null
  cmake --build build -j"$jobs"
fi
if needs browser-linux browser-wine && [ ! -d tests/browser/node_modules ]; then
  echo "== Browser suite packages"
  (cd tests/browser && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
fi
if needs unit-wine e2e e2e-wine browser-wine; then
  # As scripts/test.sh: a Wine prefix of our own, its server started
  # detached and kept for all the runs.
  export WINEPREFIX="$root/build-win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  fi
  wineserver -p </dev/null >/dev/null 2>&1 &
  wine_started=1
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
fi

if [ "$load" = 1 ]; then
  for _ in 1 2; do
    sh -c 'while :; do :; done' </dev/null >/dev/null 2>&1 &
    busy+=($!)
  done
  echo "== Load: busy processes ${busy[*]}"
fi

logs=$root/build/repeat
rm -rf "$logs"
mkdir -p "$logs"
failed=()
for run in $(seq 1 "$runs"); do
  for s in "${suites[@]}"; do
    log=$logs/run$run-$s.log
    start=$SECONDS
    # In a process group of its own, so that Ctrl+C or TERM here ends it
    # at once, with everything it started.
    setsid bash -c "$(suite_command "$s")" >"$log" 2>&1 </dev/null &
    suite_pid=$!
    status=0
    wait "$suite_pid" || status=$?
    suite_pid=
    if [ "$status" -eq 0 ]; then
      echo "run $run/$runs $s: passed ($((SECONDS - start)) s)"
    else
      echo "run $run/$runs $s: FAILED ($((SECONDS - start)) s), output in $log"
      # The failing tests, as node's runner and ctest name them.
      grep -E '^ *not ok |^ *[0-9]+ - .*\(Failed|Timeout\)|\*\*\*(Failed|Timeout)' "$log" | sed 's/^ */    /' | head -20 || true
      failed+=("run $run $s")
    fi
  done
done

echo "== ${#suites[@]} suite(s) x $runs run(s)$([ "$load" = 1 ] && echo ", under load")"
if [ ${#failed[@]} -eq 0 ]; then
  echo "every run passed"
  exit 0
fi
echo "failed runs (${#failed[@]}):"
printf '  %s\n' "${failed[@]}"
exit 1

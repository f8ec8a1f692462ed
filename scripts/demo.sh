#!/usr/bin/env bash
# Builds the bridge and starts it wired to a simulated phone (tests/sim), so
# the page can be developed and shown without a phone:
#   scripts/demo.sh             ADB mode: the phone of tests/fixtures/report/complete
#   scripts/demo.sh --fastboot  Fastboot mode: a Pixel 7 Pro's bootloader variables,
#                               reached through ANDROID_SERIAL=tcp:127.0.0.1:PORT
# The real adb and fastboot (Debian's adb and fastboot packages) talk to the
# simulated phone over TCP; the adb server gets a port of its own
# (TALVIK_DEMO_ADB_PORT, default 5399), so no other adb server is touched.
# Everything the phone is asked, and every image it is given, is recorded in
# the folder printed at start. The page is served as with scripts/run.sh, on
# http://localhost:8080/adb.html, which the bridge's banner names. Ctrl+C
# stops the bridge, the page's server, the simulated phone and the adb
# server, and removes that folder; the last lines say so. HOME is inside
# that folder, so the bridge's log-on entry goes there too, and its banner
# says that no log-in reads it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

mode=adb
case "${1:-}" in
  "" | --adb) ;;
  --fastboot) mode=fastboot ;;
  *)
    echo "usage: $0 [--adb | --fastboot]" >&2
    exit 2
    ;;
esac
for tool in adb fastboot python3; do
  command -v "$tool" >/dev/null || {
    echo "$tool is missing: run scripts/install-deps.sh" >&2
    exit 1
  }
done

cmake -S . -B build >/dev/null
cmake --build build -j2 --target talvik-web-bridge >/dev/null

work=$(mktemp -d /tmp/talvik-demo-XXXXXX)
adb_port=${TALVIK_DEMO_ADB_PORT:-5399}
# The bridge, its tools and the adb server they start see these: a private
# server port, and a HOME and config folder inside the demo folder, so
# nothing is written into the user's own ones.
export ANDROID_ADB_SERVER_PORT=$adb_port HOME=$work/home XDG_CONFIG_HOME=$work/config
unset ANDROID_SERIAL
mkdir -p "$HOME" "$XDG_CONFIG_HOME"

sim_pid=
bridge_pid=
cleanup() {
  trap '' INT TERM
  trap - EXIT
  set +e
  for pid in $bridge_pid $sim_pid; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  adb kill-server >/dev/null 2>&1
  rm -rf "$work"
  echo "  Demo band: simulated phone aur demo ka adb server bhi band, demo ka folder mita diya."
}
trap cleanup EXIT
trap 'exit 130' INT TERM

python3 tests/sim/phone_sim.py --port 0 --record "$work/phone" \
  --profile "$root/tests/fixtures/report/complete/adb.script" \
  --getvar "$root/tests/fixtures/report/pixel-7-pro-getvar.txt" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 1 100); do
  [ -s "$work/sim.out" ] && break
  sleep 0.1
done
sim_port=$(head -n 1 "$work/sim.out")
[ -n "$sim_port" ] || {
  echo "The simulated phone did not start." >&2
  exit 1
}

if [ "$mode" = adb ]; then
  adb connect "127.0.0.1:$sim_port"
else
  export ANDROID_SERIAL=tcp:127.0.0.1:$sim_port
fi
echo "Simulated phone: 127.0.0.1:$sim_port ($mode mode); what it is asked: $work/phone/journal.txt"

# The bridge runs from the demo folder, so its temporary images go there too.
# serve-and-start.sh ends the bridge and the page's server on TERM.
cp build/talvik-web-bridge "$work/"
bash scripts/serve-and-start.sh "$work/talvik-web-bridge" &
bridge_pid=$!
wait "$bridge_pid"

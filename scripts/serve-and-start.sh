#!/usr/bin/env bash
# Starts a bridge with the reference page served beside it:
#   scripts/serve-and-start.sh BRIDGE [ARG...]
# web/ is served on 127.0.0.1:8080, so the page opens as
# http://localhost:8080/adb.html, an origin the bridge answers. The bridge's
# banner names that address (TALVIK_PAGE_URL) and Ctrl+C as the way to stop.
# Ctrl+C (or TERM, or the bridge ending by itself) ends both, and a last
# line says so; killing the script outright ends both too, on Linux. When
# 8080 is taken the console says so, the bridge runs all the same and its
# banner names the site's page.
set -euo pipefail
[ $# -ge 1 ] || {
  echo "usage: $0 BRIDGE [ARG...]" >&2
  exit 2
}
here=$(cd "$(dirname "$0")" && pwd)
page=http://localhost:8080/adb.html
rule="============================================================"

web_pid=
bridge_pid=
started=0
served=0
web_state=$(mktemp /tmp/talvik-web-XXXXXX)
cleanup() {
  # Once: a second signal (a script that started this one ends it with
  # TERM after the terminal's Ctrl+C) must not cut the last line short.
  trap '' INT TERM HUP
  trap - EXIT
  set +e
  for pid in $bridge_pid $web_pid; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -f "$web_state"
  if [ "$started" = 1 ] && [ "$served" = 1 ]; then
    echo "  Bridge aur page dono band ho gaye."
  elif [ "$started" = 1 ]; then
    echo "  Bridge band ho gaya."
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

python3 "$here/serve_web.py" 8080 >"$web_state" 2>/dev/null </dev/null &
web_pid=$!
# The server says "ready" or "taken" at once; a server that could not start
# at all says nothing and ends.
for _ in $(seq 1 200); do
  [ -s "$web_state" ] && break
  kill -0 "$web_pid" 2>/dev/null || break
  sleep 0.05
done

# Served: the banner names the page's address, the only one to open.
# Not served: the banner names the site's page, and the lines before it
# say why this computer's copy is not there.
unset TALVIK_PAGE_URL
case "$(head -n 1 "$web_state")" in
  ready)
    served=1
    export TALVIK_PAGE_URL=$page
    ;;
  taken)
    echo "$rule"
    echo "  Port 8080 par pehle se koi aur program chal raha hai, is liye"
    echo "  page is computer se serve nahi hua. Bridge phir bhi chal raha hai:"
    echo "  neeche likha page kholein, ya 8080 wala program band karke dobara"
    echo "  chalayein."
    wait "$web_pid" 2>/dev/null || true
    web_pid=
    ;;
  *)
    echo "$rule"
    echo "  Page serve nahi ho saka (python3 ne web server start nahi kiya)."
    echo "  Bridge phir bhi chal raha hai: neeche likha page kholein."
    kill "$web_pid" 2>/dev/null || true
    wait "$web_pid" 2>/dev/null || true
    web_pid=
    ;;
esac
# Read once; gone now, so a script killed outright leaves no file behind.
rm -f "$web_state"

# The bridge is this shell's own child and gets a parent-death signal, so
# it ends with the script even when the script is killed outright (SIGKILL,
# which no trap sees). TERM is the signal on which the bridge removes an
# image it was receiving or flashing, as it does on the TERM of cleanup.
# setpriv (util-linux) sets it; where setpriv cannot, python3 sets it and
# starts the bridge in its place; elsewhere the bridge starts without it.
if setpriv --pdeathsig TERM true 2>/dev/null; then
  setpriv --pdeathsig TERM "$@" </dev/null &
elif command -v python3 >/dev/null; then
  python3 -c '
import ctypes, os, signal, sys
PR_SET_PDEATHSIG = 1
try:
    if ctypes.CDLL(None).prctl(PR_SET_PDEATHSIG, signal.SIGTERM) == 0 and os.getppid() != int(sys.argv[1]):
        sys.exit(0)  # the script ended before the signal was set
except (AttributeError, OSError):
    pass  # no prctl here
os.execvp(sys.argv[2], sys.argv[2:])
' "$$" "$@" </dev/null &
else
  "$@" </dev/null &
fi
bridge_pid=$!
started=1
status=0
wait "$bridge_pid" || status=$?
bridge_pid=
exit "$status"

#!/usr/bin/env bash
# Builds the Linux bridge and starts it in the foreground, with the reference
# page served on http://localhost:8080/adb.html (scripts/serve-and-start.sh).
# Ctrl+C ends both. With --autostart the bridge runs alone, as at log-on.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target talvik-web-bridge
[ "${1:-}" = --autostart ] && exec ./build/talvik-web-bridge "$@"
exec bash scripts/serve-and-start.sh ./build/talvik-web-bridge "$@"

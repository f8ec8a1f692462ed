#!/usr/bin/env bash
# Builds the Linux bridge and starts it in the foreground.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target talvik-web-bridge
exec ./build/talvik-web-bridge "$@"

#!/usr/bin/env bash
# Builds Tellvar and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc 2>/dev/null || echo 4)" --target Tellvar

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "Tellvar is built (build/release/desktop/Tellvar), but this machine has no display to show it on." >&2
  echo "Start it from a desktop session, or under a virtual display: xvfb-run build/release/desktop/Tellvar" >&2
  exit 1
fi
exec build/release/desktop/Tellvar

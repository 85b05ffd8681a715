#!/usr/bin/env bash
# Installs what is missing, builds Morvane (release) into build/ and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh fonts-liberation2
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BENCH=OFF >/dev/null
cmake --build build --target morvane
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != offscreen ]; then
  echo "Morvane needs a display; none is set. Without one, run: xvfb-run -a scripts/run.sh" >&2
  exit 1
fi
exec build/morvane

#!/usr/bin/env bash
# Builds the program and starts it. Arguments are passed to the window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/bin/tessaly ]; then
  exec build/bin/tessaly "$@"
fi
echo "No display here: showing what the reader sees in a sample photo instead." >&2
exec build/bin/tessaly-exif build/sample/sample.jpg

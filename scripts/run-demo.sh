#!/usr/bin/env bash
# Sets everything up, builds, and runs the updater against the simulated board.
# With a display: the window, at the real wire rate. Without one: the scripted
# demo on Qt's offscreen platform, printed to the terminal. Extra arguments go
# to UpdaterSim (see UpdaterSim --help).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh demo
cmake --preset demo >/dev/null
cmake --build --preset demo

export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
sim=build/demo/sim/UpdaterSim
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$sim" "$@"
fi
echo "No display found: running the scripted demo on Qt's offscreen platform."
echo
QT_QPA_PLATFORM=offscreen exec "$sim" --scripted "$@"

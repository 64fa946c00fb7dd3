#!/usr/bin/env bash
# Renders the window's four displays and a failure box from the real program
# (UpdaterSim on Qt's xcb platform, under Xvfb with a window manager) into
# docs/, for the README. Run it again whenever the window changes.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" != --inside ]; then
    scripts/setup.sh openbox imagemagick
    cmake --preset debug >/dev/null
    cmake --build --preset debug
    exec tests/xserver/with-xvfb.sh "$0" --inside
fi

sim=build/debug/sim/UpdaterSim
mkdir -p docs
openbox >/dev/null 2>&1 &
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT
sleep 1

window() { timeout "${2:-10}" xdotool search --sync --onlyvisible --name "$1" | head -1; }
click() { xdotool mousemove --window "$(window "^$1\$")" 5 5 click 1; }
shot() { sleep 0.5; import -frame -window "$1" "docs/$2.png"; echo "docs/$2.png"; }

"$sim" &
pid=$!
main=$(window '^Zandor Firmware Updater v1\.6$')
shot "$main" window-idle
click 'Find Device'
shot "$main" window-offer
click 'Flash Device'
sleep 8
shot "$main" window-programming
window '^Ok!$' 30 >/dev/null
shot "$main" window-complete
click 'Ok!'
build/debug/tests/xwin close "$main"
wait $pid

"$sim" --fast --fault ack-wrong@0x2000 &
pid=$!
window '^Zandor Firmware Updater v1\.6$' >/dev/null
click 'Find Device'
click 'Flash Device'
box=$(window '^Write Failure!$')
shot "$box" box-write-failure
build/debug/tests/xwin close "$box"
sleep 0.5
build/debug/tests/xwin close "$(window '^Zandor Firmware Updater v1\.6$')"
wait $pid

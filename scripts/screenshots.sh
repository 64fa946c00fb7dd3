#!/usr/bin/env bash
# Renders the window's four displays and a failure box from the real program
# (UpdaterSim on Qt's xcb platform, under Xvfb with a window manager) into
# docs/, for the README. Run it again whenever the window changes.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" != --inside ]; then
    scripts/setup.sh debug openbox imagemagick
    cmake --preset debug >/dev/null
    cmake --build --preset debug
    exec tests/xserver/with-xvfb.sh "$0" --inside
fi

sim=build/debug/sim/UpdaterSim
xwin=build/debug/tests/xwin
source tests/xserver/x-helpers.sh
mkdir -p docs
openbox >/dev/null 2>&1 &
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT
sleep 1

shot() { sleep 0.5; import -frame -window "$1" "docs/$2.png"; echo "docs/$2.png"; }

"$sim" &
pid=$!
main=$(window "$caption")
expect_controls "$pid" "$idle"
shot "$main" window-idle
click "$pid" 'Find Device'
expect_controls "$pid" "$offer"
shot "$main" window-offer
click "$pid" 'Flash Device'
sleep 8
shot "$main" window-programming
expect_controls "$pid" "$complete" 30
shot "$main" window-complete
click "$pid" 'Ok!'
"$xwin" close "$main"
wait $pid

"$sim" --fast --fault ack-wrong@0x2000 &
pid=$!
window "$caption" >/dev/null
click "$pid" 'Find Device'
click "$pid" 'Flash Device'
box=$(window '^Write Failure!$')
shot "$box" box-write-failure
"$xwin" close "$box"
sleep 0.5
"$xwin" close "$(window "$caption")"
wait $pid

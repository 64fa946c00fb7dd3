#!/usr/bin/env bash
# The programs as a person meets them on an X desktop (see x-helpers.sh).
# Run through with-xvfb.sh. Usage: programs-on-x.sh BUILD_DIR
set -euo pipefail
build=$1
xwin=$build/tests/xwin
source "$(dirname "$0")/x-helpers.sh"

echo "== UpdaterSim: the whole update through its window"
"$build/sim/UpdaterSim" --fast &
sim=$!
main=$(window "$caption")
[ "$("$xwin" size "$main")" = 336x273 ] || fail "client area $("$xwin" size "$main")"
expect_controls "$sim" "$idle"
click "$sim" 'Find Device'
expect_controls "$sim" "$offer"
click "$sim" 'Flash Device'
expect_controls "$sim" "$complete"

echo "== a second copy is refused with a box above every window"
"$build/sim/UpdaterSim" --fast &
second=$!
box=$(window '^Zandor Firmware Updater$')
grep -qx _NET_WM_STATE_ABOVE <<<"$("$xwin" state "$box")" || fail "the refusal box is not kept above"
[ "$(xdotool search --onlyvisible --name "$caption" | wc -l)" = 1 ] || fail "the second copy showed its window"
"$xwin" close "$box"
ends "$second"

click "$sim" 'Ok!'
expect_controls "$sim" "$idle"
"$xwin" close "$main"
ends "$sim"

echo "== UpdaterSim without an interface: only the box"
"$build/sim/UpdaterSim" --no-interface &
only_box $! 'USB Error!'

echo "== Updater without an interface: only the box"
# Its real back ends over stand-ins: a D2XX library and a USB bus, both empty.
LD_LIBRARY_PATH=$(no_hardware_path "$build") USBMODEL_DEVICES=none "$build/window/qt/Updater" &
pid=$!
window '^USB Error!$' >/dev/null
on_model_only "$pid" "$build"
only_box "$pid" 'USB Error!'
echo "all passed"

#!/usr/bin/env bash
# The programs as a person meets them on an X desktop, driven and read with
# the tools anyone has: xdotool finds windows by their exact names and clicks
# (real pointer events through XTEST), xwin reads which controls the server
# shows. Run through with-xvfb.sh. Usage: programs-on-x.sh BUILD_DIR
set -euo pipefail
build=$1
xwin=$build/tests/xwin
caption='^Zandor Firmware Updater v1\.6$'

fail() { echo "FAIL: $*" >&2; exit 1; }

# The id of the one mapped window whose name matches, waiting up to 10 s.
window() {
    local id
    id=$(timeout 10 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1) ||
        fail "no window named $1"
    echo "$id"
}
controls() { "$xwin" controls "$1" | sort | paste -sd, -; }
# Waits up to 5 s until the window shows exactly these controls.
expect_controls() {
    local id=$1 want=$2 got
    for _ in $(seq 50); do
        got=$(controls "$id")
        [ "$got" = "$want" ] && return 0
        sleep 0.1
    done
    fail "controls shown: $got; expected: $want"
}
click() { xdotool mousemove --window "$(window "^$1\$")" 5 5 click 1; }
# Waits up to 10 s for a program to end; its exit status must be 0.
ends() {
    local pid=$1
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || { wait "$pid" || fail "exit status $?"; return 0; }
        sleep 0.1
    done
    kill "$pid"
    fail "the program did not end"
}

idle='DeviceName,Find Device,Picture1,StatusText'
offer='Abort Flash,DeviceName,Flash Device,Picture1,StatusText'
complete='DeviceName,Ok!,Picture1,StatusText'

echo "== UpdaterSim: the whole update through its window"
"$build/sim/UpdaterSim" --fast &
sim=$!
main=$(window "$caption")
[ "$("$xwin" size "$main")" = 336x273 ] || fail "client area $("$xwin" size "$main")"
expect_controls "$main" "$idle"
click 'Find Device'
expect_controls "$main" "$offer"
click 'Flash Device'
expect_controls "$main" "$complete"

echo "== a second copy is refused with a box above every window"
"$build/sim/UpdaterSim" --fast &
second=$!
box=$(window '^Zandor Firmware Updater$')
"$xwin" state "$box" | grep -qx _NET_WM_STATE_ABOVE || fail "the refusal box is not kept above"
[ "$(xdotool search --onlyvisible --name "$caption" | wc -l)" = 1 ] || fail "the second copy showed its window"
"$xwin" close "$box"
ends "$second"

click 'Ok!'
expect_controls "$main" "$idle"
"$xwin" close "$main"
ends "$sim"

for program in "sim/UpdaterSim --no-interface" "window/qt/Updater"; do
    echo "== $program without an interface: only the box"
    # No FTDI library on the search path, and no FTDI device for libftdi1.
    LD_LIBRARY_PATH= $build/$program &
    pid=$!
    box=$(window '^USB Error!$')
    if xdotool search --onlyvisible --name "$caption" >/dev/null; then fail "the main window was shown"; fi
    "$xwin" close "$box"
    ends "$pid"
done
echo "all passed"

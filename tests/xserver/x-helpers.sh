# Helpers for the scripts that drive the programs on an X server the way a
# person would: xdotool finds top-level windows by their exact names, moves
# the real pointer and types through XTEST; which controls are shown, where
# they are and which one has the keyboard is read from the accessibility
# bus, as a screen reader reads it (tests/accessibility/atspi.py). Source
# after setting $xwin to the xwin program.

fail() { echo "FAIL: $*" >&2; exit 1; }
atspi() { /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/../accessibility/atspi.py" "$@"; }

# The id of the first mapped window whose name matches, waiting up to $2 s (10).
window() {
    local id
    id=$(timeout "${2:-10}" xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | sed -n 1p) ||
        fail "no window named $1"
    echo "$id"
}
# The shown buttons and progress bar of program $1, as the accessibility bus has them.
controls() { atspi shown "$1" 2>/dev/null || true; }
# Waits up to $3 s (5) until program $1 shows exactly these controls.
expect_controls() {
    local pid=$1 want=$2 got
    for _ in $(seq $((${3:-5} * 10))); do
        got=$(controls "$pid")
        [ "$got" = "$want" ] && return 0
        sleep 0.1
    done
    fail "controls shown: $got; expected: $want"
}
# Clicks the shown control named $2 of program $1 with the pointer, waiting
# up to 5 s for it to be shown.
click() {
    local at=
    for _ in $(seq 50); do
        at=$(atspi center "$1" "$2" 2>/dev/null) && break
        sleep 0.1
    done
    [ -n "$at" ] || fail "no shown control $2"
    # shellcheck disable=SC2086
    xdotool mousemove $at click 1
}
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

caption='^Zandor Firmware Updater v1\.6$'

# The search path for the production Updater in the tests: a D2XX library
# without devices and the FT232R model as libusb, never the machine's own.
no_hardware_path() { echo "$1/tests/no-hardware:$1/sim/usb-model/lib"; }
# Fails unless the program with this pid loaded its FTDI libraries from the
# build ($2), so it cannot have reached a cable plugged into this machine.
on_model_only() {
    local maps
    maps=$(grep -E 'libftd2xx|libusb-1\.0' "/proc/$1/maps" | awk '{ print $6 }' | sort -u)
    echo "$maps" | grep -qx "$2/tests/no-hardware/libftd2xx.so" || fail "D2XX library not the fake: $maps"
    echo "$maps" | grep -qx "$2/sim/usb-model/lib/libusb-1.0.so.0" || fail "libusb not the model: $maps"
    [ -z "$(grep -v "^$2/" <<<"$maps")" ] || fail "a library from outside the build: $maps"
}

# The program with this pid shows only a box with this title, never its
# window; closing the box ends it.
only_box() {
    local pid=$1 title=$2 box
    box=$(window "^$title\$")
    if xdotool search --onlyvisible --name "$caption" >/dev/null; then fail "the main window was shown"; fi
    "$xwin" close "$box"
    ends "$pid"
}
idle='Find Device'
offer='Abort Flash,Flash Device'
programming='Update progress'
complete='Ok!'

# Helpers for the scripts that drive the programs on an X server the way a
# person would: xdotool finds windows by their exact names and clicks (real
# pointer events through XTEST); xwin reads which controls the server shows.
# Source after setting $xwin to the xwin program.

fail() { echo "FAIL: $*" >&2; exit 1; }

# The id of the first mapped window whose name matches, waiting up to $2 s (10).
window() {
    local id
    id=$(timeout "${2:-10}" xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1) ||
        fail "no window named $1"
    echo "$id"
}
controls() { "$xwin" controls "$1" | sort | paste -sd, -; }
# Waits up to $3 s (5) until the window shows exactly these controls.
expect_controls() {
    local id=$1 want=$2 got
    for _ in $(seq $((${3:-5} * 10))); do
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
    ! echo "$maps" | grep -v "^$2/" | grep -q . || fail "a library from outside the build: $maps"
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
idle='DeviceName,Find Device,Picture1,StatusText'
offer='Abort Flash,DeviceName,Flash Device,Picture1,StatusText'
complete='DeviceName,Ok!,Picture1,StatusText'

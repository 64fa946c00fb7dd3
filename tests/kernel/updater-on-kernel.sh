#!/usr/bin/env bash
# The production Updater, unchanged, on a Linux kernel's own USB stack: usbfs,
# ftdi_sio, Debian's libusb and libftdi1, talking to the simulated board
# behind an FT232R that the kernel enumerates as a USB device (Ft232rGadget:
# a configfs gadget with a FunctionFS function on dummy_hcd). Runs as root in
# the guest that tests/kernel/in-guest.sh boots, on an X server of its own,
# and reads every result where a person would: the window and its boxes
# through the accessibility bus, the board's flash, and the kernel's own view
# of the device in sysfs and /dev.
#
# 1. A whole update while another program holds the tty open: the flash holds
#    the image, the chip lost no byte, ftdi_sio has the interface back and a
#    tty is there again when the program ends; the time against the wire's.
# 2. Ended by the session (SIGTERM) during the update: it ends promptly, the
#    kernel's driver has the interface back, the boot page is untouched.
# 3. The cable pulled (the gadget unbound from its controller) during the
#    update: a failure box, the boot page untouched, the program still there,
#    and it closes cleanly.
# 4. A user without access to the device node: "Serial Link interface not
#    found!".
# Usage: updater-on-kernel.sh BUILD_DIR RELEASE_IMAGE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
image=$2
xwin=$build/tests/xwin
updater=$build/window/qt/Updater
gadget=$build/sim/functionfs/Ft232rGadget
source "$here/../xserver/x-helpers.sh"
seconds() { awk -v s="$1" -v e="$(date +%s.%N)" 'BEGIN { printf "%.1f", e - s }'; }
# The guest's processor time spent working so far, and its uptime, in ticks.
cpu_ticks() { awk '/^cpu / { print $2 + $3 + $4 + $7 + $8, $2 + $3 + $4 + $5 + $6 + $7 + $8 }' /proc/stat; }
# A line of the log, with the guest's uptime.
note() { echo "[$(cut -d' ' -f1 /proc/uptime)] $*"; }

# Waits up to $3 s (guest time, as the emulated machine is slow) until program
# $1 shows exactly the controls $2.
expect_shown() {
    local deadline=$((SECONDS + $3)) got
    until got=$(controls "$1") && [ "$got" = "$2" ]; do
        [ "$SECONDS" -lt "$deadline" ] || fail "controls shown: $got; expected: $2"
        sleep 0.2
    done
}
# The message box of program $1 as a screen reader reads it, waiting up to
# 30 s for the program to be on the accessibility bus with one.
box_text() {
    local deadline=$((SECONDS + 30)) got=
    until got=$(atspi box "$1" 2>/dev/null) && [ -n "$got" ] || [ "$SECONDS" -ge "$deadline" ]; do
        sleep 0.2
    done
    echo "$got"
}

# ---- the part that runs as a user without access, on an X server of its own
if [ "${3:-}" = --no-access ]; then
    "$updater" &
    pid=$!
    box=$(window '^USB Error!$' 60)
    got=$(box_text "$pid")
    [ "$got" = "alert 'USB Error!': Serial Link interface not found!" ] || fail "the box reads: $got"
    note "$got"
    if xdotool search --onlyvisible --name "$caption" >/dev/null; then fail "the main window was shown"; fi
    "$xwin" close "$box"
    ends "$pid"
    exit 0
fi
# ---- everything else as root, on an X server
if [ -z "${DISPLAY:-}" ]; then exec "$here/../xserver/with-xvfb.sh" "$0" "$@"; fi

work=$(mktemp -d)
chmod 755 "$work"
trap 'status=$?; [ $status = 0 ] || ps -eo pid,stat,time,args | grep -v " \\[" >&2
      kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
# No FTDI library that could find a cable: only the kernel's USB stack.
export LD_LIBRARY_PATH=$build/tests/no-hardware

# ---- the device, as the kernel sees it
interface=/sys/bus/usb/devices/1-1:1.0
driver() { basename "$(readlink "$interface/driver" 2>/dev/null || echo none)"; }
tty_of() { ls "$interface" 2>/dev/null | grep -m1 '^ttyUSB' || true; }
# Plugs in a fresh board; waits until ftdi_sio has bound it and made its tty.
plug() {
    "$gadget" --flash-out "$work/flash" --report "$work/report" "$@" &
    gadget_pid=$!
    for _ in $(seq 100); do
        [ "$(driver)" = ftdi_sio ] && [ -n "$(tty_of)" ] && [ -e "/dev/$(tty_of)" ] && break
        sleep 0.1
    done
    [ "$(driver)" = ftdi_sio ] || fail "ftdi_sio did not bind the interface"
    # As udev's default rule leaves it on a machine without Updater's rule.
    chmod 0664 "/dev/bus/usb/001/$(printf %03d "$(cat /sys/bus/usb/devices/1-1/devnum)")"
    note "plugged in: $(cat /sys/bus/usb/devices/1-1/product), $(driver) on /dev/$(tty_of)"
}
pull_cable() { echo >"$(ls -d /sys/kernel/config/usb_gadget/ft232r*)/UDC"; }
# Unplugs the board and keeps its flash and counters.
unplug() {
    kill -TERM "$gadget_pid"
    wait "$gadget_pid" || fail "the gadget ended with status $?"
    note "chip: $(paste -sd' ' "$work/report")"
}
value() { awk -v k="$1" '$1 == k { print $2 }' "$work/report"; }
# The chip's counter $1 now, without unplugging.
counter_now() {
    rm -f "$work/report"
    kill -USR1 "$gadget_pid"
    for _ in $(seq 50); do [ -s "$work/report" ] && break; sleep 0.1; done
    value "$1"
}
first_page_erased() { [ "$(head -c 2048 "$work/flash" | tr -d '\377' | wc -c)" = 0 ]; }
some_block_written() { [ "$(head -c 4096 "$work/flash" | tail -c 2048 | tr -d '\377' | wc -c)" != 0 ]; }

# ---- the program, as a person meets it
start_updater() {
    "$updater" &
    pid=$!
    main=$(window "$caption" 60)
    expect_shown "$pid" "$idle" 60
    note "window shown"
    # Names as the bus announces them, to wait on without asking again and again.
    atspi watch "$pid" >"$work/events" 2>&1 &
    watcher=$!
    announced watching 60 || fail "no accessibility events: $(cat "$work/events")"
}
# True once the bus announced line $1, waiting up to $2 s.
announced() {
    local deadline=$((SECONDS + $2))
    until grep -qxF "$1" "$work/events"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}
wait_name() {  # waits up to $2 s for the bus to announce a label named $1
    announced "name label '$1'" "$2" ||
        fail "\"$1\" never reached the bus; it said: $(paste -sd'|' "$work/events")"
}
find_and_flash() {
    click "$pid" 'Find Device'
    expect_shown "$pid" "$offer" 30
    click "$pid" 'Flash Device'
    flash_start=$(date +%s.%N)
    wait_name 'Flashing device...' 30
    note "flashing"
}
stop_watching() { kill "$watcher" 2>/dev/null || true; wait "$watcher" 2>/dev/null || true; }

note "== 1. a whole update, with the tty held open by another program"
plug
held=$(tty_of)
sleep infinity <>"/dev/$held" &
holder=$!
start_updater
# The libusb it runs on is the one Debian's package installed (1.0.26 on
# Debian 12, 1.0.28 on 13), not the project's model.
libusb=$(awk '/libusb-1\.0/ { print $6 }' "/proc/$pid/maps" | sort -u)
[ "$(dpkg -S "$libusb" 2>/dev/null | cut -d: -f1)" = libusb-1.0-0 ] || fail "not Debian's libusb: $libusb"
find_and_flash
skipped=$(counter_now clock_skipped_us)
read -r busy all < <(cpu_ticks)
[ "$(driver)" = usbfs ] || fail "the interface is with $(driver) during the update, not usbfs"
wait_name 'Flash Complete!' 120
took=$(seconds "$flash_start")
skipped=$(($(counter_now clock_skipped_us) - skipped))
read -r busy2 all2 < <(cpu_ticks)
note "Flash Complete!; the guest's processor worked $(( 100 * (busy2 - busy) / (all2 - all) ))% of the time"
expect_shown "$pid" "$complete" 30
stop_watching
"$xwin" close "$main"
ends "$pid"
for _ in $(seq 50); do [ -n "$(tty_of)" ] && break; sleep 0.1; done
[ "$(driver)" = ftdi_sio ] || fail "ftdi_sio did not get the interface back (it is with $(driver))"
[ -n "$(tty_of)" ] && [ -e "/dev/$(tty_of)" ] || fail "no tty after the update"
note "after the update: $(driver) on /dev/$(tty_of); /dev/$held was held by $holder"
kill "$holder"
unplug
cmp <(tail -c +9 "$image" | head -c 129024) <(head -c 129024 "$work/flash") ||
    fail "the board's flash does not hold the image"
[ "$(tail -c 2048 "$work/flash" | tr -d '\377' | wc -c)" = 0 ] || fail "the last block was written"
[ "$(value receive_overflows)" = 0 ] || fail "$(value receive_overflows) bytes lost in the chip"
# The board's line carries every echo and reply: its busy time is the least
# the update can take.
wire=$(awk -v b="$(value board_to_host)" 'BEGIN { printf "%.2f", b * 10 / 125000 }')
# The emulated machine stands still at times (its host is shared, and the
# emulator translates new code): the chip's clock stands still with it.
awk -v t="$took" -v w="$wire" -v s="$skipped" 'BEGIN {
    printf "   programmed in %.1f s; the guest stood still %.1f s of them, the chip took %.1f s;\n", t, s / 1e6, t - s / 1e6
    printf "   the wire needs %.2f s: ratio %.2f in the guest'"'"'s time, %.2f in the chip'"'"'s\n", w, t / w, (t - s / 1e6) / w }'

note "== 2. ended by the session (SIGTERM) during the update"
plug
start_updater
find_and_flash
sleep 3
ended=$(date +%s.%N)
kill -TERM "$pid"
ends "$pid"
took=$(seconds "$ended")
note "ended $took s after SIGTERM"
# Within a second on a real machine; the emulated one is several times slower.
awk -v t="$took" 'BEGIN { exit !(t <= 5) }' || fail "it took $took s to end"
stop_watching
for _ in $(seq 50); do [ -n "$(tty_of)" ] && break; sleep 0.1; done
[ "$(driver)" = ftdi_sio ] && [ -e "/dev/$(tty_of)" ] || fail "the link was not given back to ftdi_sio"
note "then: $(driver) on /dev/$(tty_of)"
unplug
first_page_erased || fail "the boot page was written"
some_block_written || fail "no block was written"

note "== 3. the cable pulled during the update"
plug
start_updater
find_and_flash
sleep 3
pull_cable
box=$(window '^(Write|Verify) Failure!$' 120)
got=$(box_text "$pid")
# The frame on the wire when the cable went never came back whole, so the
# program may also warn that the boot page could have changed; it did not.
case $got in
    "alert 'Write Failure!': Device write error! Data is corrupted!  Re-try update!" | \
        "alert 'Verify Failure!': Device verify error!  Data is corrupted!  Re-try update!" | \
        "alert 'Write Failure!': Step 3 - Device write error!  Data is corrupted!  ** DO NOT POWER OFF BOARD!! **  Re-try update!" | \
        "alert 'Verify Failure!': Device verify error!  Data is corrupted!  ** DO NOT POWER OFF BOARD!! **  Re-try update!") ;;
    *) fail "the box reads: $got" ;;
esac
note "$got"
kill -0 "$pid" || fail "the program is gone"
"$xwin" close "$box"
expect_shown "$pid" "$idle" 30
stop_watching
"$xwin" close "$main"
ends "$pid"
unplug
[ "$(value unbound)" = 1 ] || fail "the gadget was not unbound"
first_page_erased || fail "the boot page was written"
some_block_written || fail "no block was written"

note "== 4. a user without access to the device"
plug
[ "$(driver)" = ftdi_sio ] || fail "ftdi_sio does not have the interface"
# The checkout may sit where only root can pass (CI clones into /root): open
# the way for others on the guest's throw-away overlay, never on the host.
if [ -d /run/guest-out ]; then
    for dir in "$here" "$build"; do
        while [ "$dir" != / ]; do chmod o+x "$dir"; dir=$(dirname "$dir"); done
    done
fi
setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env HOME=/tmp "$here/../xserver/with-xvfb.sh" "$0" "$build" "$image" --no-access
unplug
echo "all passed"

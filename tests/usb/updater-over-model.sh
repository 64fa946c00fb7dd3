#!/usr/bin/env bash
# The production Updater, unchanged, with its libftdi1 back end: real
# libftdi1 over the USB-level FT232R model, on an X server, driven through
# its window, with a stand-in logind on a system bus of its own. A whole
# update in real time (about 21 s), started as under nohup and hung up
# mid-way, again on a host whose cancelled transfers come back late (about
# 35 s), then the failures a person meets: no access, the interface in
# use, the board unplugged during the update, the program ended by the
# session during the update. Throughout, what logind is asked: the machine
# kept awake from "Flash Device" to the end of the run. Run through
# with-xvfb.sh.
# Usage: updater-over-model.sh BUILD_DIR RELEASE_IMAGE
set -euo pipefail
build=$1
image=$2
xwin=$build/tests/xwin
source "$(dirname "$0")/../xserver/x-helpers.sh"
source "$(dirname "$0")/../power/system-bus.sh"

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
LD_LIBRARY_PATH=$(no_hardware_path "$build")
export LD_LIBRARY_PATH
export USBMODEL_FLASH_OUT=$work/flash USBMODEL_REPORT=$work/report
updater=$build/window/qt/Updater
system_bus "$work"
logind "$work/logind"
why="A board's firmware is being updated. Stopping now can leave the board unable to start."
held() { echo "inhibit sleep:idle|Zandor Firmware Updater|$why|block pid=$1"; }

value() { awk -v k="$1" '$1 == k { print $2 }' "$work/report"; }

# A whole update on the devices $1 (the model's setting), judged from the
# board's side: its flash, the bytes its chip lost, the blocks it was sent
# again; and what logind was asked. With $2 = hangup it is started as under
# nohup and hung up mid-way, which must change nothing.
whole_update() {
    rm -f "$work/flash" "$work/report"
    : >"$logind_log"  # what logind is asked in this run alone
    local pid
    if [ "${2:-}" = hangup ]; then
        USBMODEL_DEVICES=$1 USBMODEL_BOARD= nohup "$updater" >"$work/nohup.out" 2>&1 &
    else
        USBMODEL_DEVICES=$1 USBMODEL_BOARD= "$updater" &
    fi
    pid=$!
    local main
    main=$(window "$caption")
    on_model_only "$pid" "$build"
    expect_controls "$pid" "$idle"
    click "$pid" 'Find Device'
    expect_controls "$pid" "$offer"
    [ -z "$(inhibitors)" ] || fail "logind asked before \"Flash Device\": $(inhibitors)"
    click "$pid" 'Flash Device'
    local start
    start=$(date +%s.%N)
    expect_inhibitor "$(held "$pid")"
    if [ "${2:-}" = hangup ]; then
        sleep 3
        kill -HUP "$pid"
        sleep 1
        kill -0 "$pid" 2>/dev/null || { cat "$work/nohup.out"; fail "the hangup ended the update"; }
        expect_controls "$pid" "$programming"
    fi
    [ "$(inhibitors)" = "$(held "$pid")" ] || fail "the machine may sleep during the update: $(inhibitors)"
    expect_controls "$pid" "$complete" 120
    echo "programmed in $(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%.1f", e - s }') s"
    expect_inhibitor "released pid=$pid"  # by the program, which still runs
    "$xwin" close "$main"
    ends "$pid"
    # The board's flash: image bytes 8 on for 62 blocks and the first page, the
    # last block left erased.
    cmp <(tail -c +9 "$image" | head -c 129024) <(head -c 129024 "$work/flash") ||
        fail "the board's flash does not hold the image"
    [ "$(tail -c 2048 "$work/flash" | tr -d '\377' | wc -c)" = 0 ] || fail "the last block was written"
    [ "$(value receive_overflows)" = 0 ] || fail "$(value receive_overflows) bytes lost in the chip"
    [ "$(value repeated_commands)" = 0 ] || fail "$(value repeated_commands) block commands sent again"
    [ "$(value kernel_driver_bound)" = 1 ] || fail "ftdi_sio did not get the interface back"
    # As with real libusb, the reader's completions also ran on the window's
    # thread, inside libftdi1's synchronous writes and purges.
    [ "$(value callbacks_in_sync_calls)" -gt 0 ] || fail "no completion ran inside a synchronous transfer"
    cat "$work/report"
}

echo "== the whole update, started as under nohup: a hangup mid-way changes nothing"
whole_update "" hangup

echo "== the whole update on a host that gives cancelled transfers back only after 1.5 s"
whole_update "cancel=slow"

for devices in "access=denied" "busy=yes"; do
    echo "== $devices: only the box"
    USBMODEL_DEVICES=$devices "$updater" &
    only_box $! 'USB Error!'
done

echo "== unplugged during the update: the machine may sleep while the box waits"
USBMODEL_BOARD="--fault gone@0x4000" "$updater" &
pid=$!
main=$(window "$caption")
click "$pid" 'Find Device'
expect_controls "$pid" "$offer"
click "$pid" 'Flash Device'
box=$(window '^Write Failure!$' 30)
expect_inhibitor "$(held "$pid")"
expect_inhibitor "released pid=$pid"
"$xwin" close "$box"
expect_controls "$pid" "$idle"
"$xwin" close "$main"
ends "$pid"

for signal in TERM HUP; do
    echo "== ended by the session (SIG$signal) during the update"
    rm -f "$work/flash" "$work/report"  # written anew when the interface is closed
    USBMODEL_DEVICES= USBMODEL_BOARD= "$updater" &
    pid=$!
    window "$caption" >/dev/null
    click "$pid" 'Find Device'
    expect_controls "$pid" "$offer"
    click "$pid" 'Flash Device'
    sleep 3
    start=$(date +%s%N)
    kill -"$signal" "$pid"
    ends "$pid"
    took=$(( ($(date +%s%N) - start) / 1000000 ))
    echo "ended $took ms after SIG$signal"
    [ "$took" -le 2000 ] || fail "took $took ms to end"
    [ "$(value kernel_driver_bound)" = 1 ] || fail "ftdi_sio did not get the interface back"
    [ "$(head -c 2048 "$work/flash" | tr -d '\377' | wc -c)" = 0 ] || fail "the boot page was written"
    [ "$(head -c 4096 "$work/flash" | tail -c 2048 | tr -d '\377' | wc -c)" != 0 ] || fail "no block was written"
    expect_inhibitor "$(held "$pid")"
    expect_inhibitor "released pid=$pid"
done
echo "-- what logind was asked"
cat "$logind_log"
echo "all passed"

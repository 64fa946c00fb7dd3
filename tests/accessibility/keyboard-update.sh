#!/usr/bin/env bash
# The window as a person who works by keyboard alone, and as their screen
# reader, meets it: a whole update against the simulated board with keys
# only (Space, Enter, Tab, Shift+Tab, Escape), the accessible tree of each
# display, where the keyboard is after each switch, keys during the update
# reaching nothing, the status line's changes reaching the accessibility bus,
# and every message box by its exact title, read and dismissed by keyboard.
# Runs on X (through tests/xserver/with-xvfb.sh) or on Wayland (through
# tests/wayland/with-sway.sh). Usage: keyboard-update.sh BUILD_DIR x11|wayland
set -euo pipefail
build=$1
platform=$2
here=$(dirname "$0")
sim=$build/sim/UpdaterSim
xwin=$build/tests/xwin
source "$here/../xserver/x-helpers.sh"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

# ---- the platform: keys, window titles, closing a window
keys() {
    local key
    for key in "$@"; do
        if [ "$platform" = x11 ]; then
            xdotool key --clearmodifiers "$key"
        else
            # wtype brings its virtual keyboard to the seat for each call; the
            # pause lets the program take the new keyboard before the key comes.
            case $key in
                shift+*) wtype -s 300 -M shift -k "${key#shift+}" -m shift ;;
                *) wtype -s 300 -k "$key" ;;
            esac
        fi
        sleep 0.2
    done
}
titles() {
    if [ "$platform" = x11 ]; then
        for id in $(xdotool search --onlyvisible --name . 2>/dev/null); do xdotool getwindowname "$id"; done
    else
        swaymsg -t get_tree -r | /usr/bin/python3 -c '
import json, sys
def walk(n):
    if n.get("pid") and n.get("name") is not None: print(n["name"])
    for c in n.get("nodes", []) + n.get("floating_nodes", []): walk(c)
walk(json.load(sys.stdin))'
    fi
}
# Waits up to $2 s (10) for a window titled exactly $1.
wait_title() {
    for _ in $(seq $((${2:-10} * 10))); do
        # Read whole: under pipefail, grep -q leaving early fails the pipe.
        grep -qxF "$1" <<<"$(titles)" && return 0
        sleep 0.1
    done
    fail "no window titled \"$1\"; there are: $(titles | paste -sd'|' -)"
}
# The keyboard goes to the new window: on Wayland the compositor does it, on
# an X server without a window manager the test does.
take_keyboard() {
    if [ "$platform" = x11 ]; then xdotool windowfocus --sync "$(window "^$1\$")"; fi
}
close_window() {
    if [ "$platform" = x11 ]; then "$xwin" close "$(window "^$1\$")"; else swaymsg "[title=\"^$1\$\"] kill" >/dev/null; fi
}
expect_focus() {
    local got
    for _ in $(seq 30); do
        got=$(atspi focused "$1" 2>/dev/null || true)
        [ "$got" = "$2" ] && return 0
        sleep 0.1
    done
    fail "the keyboard is on $got; expected $2"
}
# Waits up to 5 s for program $1's message box and checks that a screen
# reader reads it as an alert (or dialog) titled $2 whose text begins with $3.
expect_box() {
    local box=
    for _ in $(seq 50); do
        box=$(atspi box "$1" 2>/dev/null || true)
        [ -n "$box" ] && break
        sleep 0.1
    done
    case $box in
        "alert '$2': $3"* | "dialog '$2': $3"*) ;;
        *) fail "the box reads: $box" ;;
    esac
    echo "   $box"
}
# The tree, with the bar's value during an update given as its range when it
# lies there: how far the update has come depends on the machine. A control
# just shown may be reported as showing before its place is (seen on Wayland
# with the machine busy): the tree is read again, for up to 5 s, until every
# shown object has a place.
tree() {
    local got
    for _ in $(seq 50); do
        got=$(atspi tree "$1")
        grep -q '\[showing[^]]*\].* at 0,0 0x0$' <<<"$got" || break
        sleep 0.1
    done
    sed -E "s/value=([0-9]|[1-5][0-9]|6[0-2]) of 0\.\.63/value=0..62 of 0..63/" <<<"$got"
}

title='Zandor Firmware Updater v1.6'

echo "== a whole update by keyboard, in real time"
"$sim" &
pid=$!
wait_title "$title"
take_keyboard "$title"
expect_controls "$pid" "$idle"
/usr/bin/python3 "$here/atspi.py" watch "$pid" >"$work/events" &
watcher=$!
tree "$pid" >"$work/idle.tree"
expect_focus "$pid" "push button 'Find Device'"
keys space
expect_controls "$pid" "$offer"
expect_focus "$pid" "push button 'Abort Flash'"
tree "$pid" >"$work/offer.tree"
keys Tab
expect_focus "$pid" "push button 'Flash Device'"
keys shift+Tab
expect_focus "$pid" "push button 'Abort Flash'"
keys Tab Return
expect_controls "$pid" "$programming"
expect_focus "$pid" "frame '$title'"
keys space Return Tab space
sleep 1
expect_controls "$pid" "$programming"  # no key reached a button
expect_focus "$pid" "frame '$title'"
tree "$pid" >"$work/programming.tree"
expect_controls "$pid" "$complete" 60
expect_focus "$pid" "push button 'Ok!'"
tree "$pid" >"$work/complete.tree"
keys Return
expect_controls "$pid" "$idle"
expect_focus "$pid" "push button 'Find Device'"
kill "$watcher"
close_window "$title"
ends "$pid"

for display in idle offer programming complete; do
    echo "-- $display, as a screen reader reads it"
    cat "$work/$display.tree"
    [ -n "${SAVE_TREES:-}" ] && cp "$work/$display.tree" "$here/expected/"
    diff -u "$here/expected/$display.tree" "$work/$display.tree" || fail "the $display display reads otherwise"
done
echo "-- what the bus said"
cat "$work/events"
grep -qxF "name label 'Flashing device...'" "$work/events" || fail "\"Flashing device...\" never reached the bus"
grep -qxF "name label 'Flash Complete!'" "$work/events" || fail "\"Flash Complete!\" never reached the bus"

echo "== every message box, read and dismissed by keyboard"
# board options, keys at idle, keys at the offer once it shows (as a user sees
# it before going on: keys typed during "Find Device" find its display), title,
# text, key that dismisses it, what follows
while IFS='|' read -r options press atoffer boxtitle text dismiss after; do
    [ -z "$options" ] && continue
    echo "-- $boxtitle ($options)"
    # shellcheck disable=SC2086
    "$sim" --fast $options &
    pid=$!
    if [ -n "$press" ]; then
        wait_title "$title"
        take_keyboard "$title"
        expect_controls "$pid" "$idle"
        # A window is shown before it has the keyboard: keys go once it has.
        expect_focus "$pid" "push button 'Find Device'"
        # shellcheck disable=SC2086
        keys $press
        if [ -n "$atoffer" ]; then
            expect_controls "$pid" "$offer"
            expect_focus "$pid" "push button 'Abort Flash'"
            # shellcheck disable=SC2086
            keys $atoffer
        fi
    fi
    wait_title "$boxtitle"
    take_keyboard "$boxtitle"
    expect_box "$pid" "$boxtitle" "$text"
    keys "$dismiss"
    # On a desktop the window manager gives the keyboard back to the window.
    [ "$after" = ends ] || take_keyboard "$title"
    if [ "$after" = ends ]; then
        ends "$pid"
    else
        expect_controls "$pid" "$idle"
        expect_focus "$pid" "push button 'Find Device'"
        close_window "$title"
        ends "$pid"
    fi
done <<'BOXES'
--no-interface|||USB Error!|Serial Link interface not found!|Return|ends
--silent|||Zandor Firmware Updater|Zandor not in update mode! |Escape|ends
--fault purge-fail#1|space||USB Error|USB Connection Failure!|Return|ends
--fault ack-wrong@0x800|space|Tab space|Write Failure!|Device write error! Data is corrupted!  Re-try update!|Escape|idle
--fault corrupt@0x400|space|Tab Return|Verify Failure!|Device verify error!  Data is corrupted!  Re-try update!|Return|idle
--fault ack-missing@0|space|Tab space|Write Failure!|Step 3 - Device write error!  Data is corrupted!  ** DO NOT POWER OFF BOARD!! **  Re-try update!|Escape|idle
BOXES

echo "-- Zandor Firmware Updater (a second copy)"
"$sim" --fast &
first=$!
wait_title "$title"
expect_controls "$first" "$idle"
"$sim" --fast &
second=$!
expect_box "$second" 'Zandor Firmware Updater' 'UpdaterSim already running! '
take_keyboard 'Zandor Firmware Updater'
keys Return
ends "$second"
close_window "$title"
ends "$first"
echo "all passed"

#!/usr/bin/env bash
# Runs a command against an X server of its own: Xvfb on a free display
# number, 96 dpi, no window manager. Qt uses its xcb platform there, as on a
# Linux desktop. The command also gets a runtime folder of its own, where the
# programs keep their single-instance locks, and a session bus with the
# accessibility bus behind it, where Qt's programs publish what a screen
# reader reads. There is no system bus unless the command starts one, so no
# program run here asks the machine's own logind to stay awake. All of it
# goes away with the command.
set -euo pipefail

fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
xvfb=$!
display=
read -r -t 20 display <"$fifo" || true
rm -f "$fifo"
[ -n "$display" ] || { echo "with-xvfb: Xvfb did not start" >&2; exit 1; }
runtime=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null || true; rm -rf "$runtime"' EXIT

export DISPLAY=":$display"
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
export XDG_RUNTIME_DIR="$runtime"
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$runtime/no-system-bus"
# As a desktop with a screen reader running: the bridge always on.
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
dbus-run-session -- "$@" 2> >(grep -v 'dbus-daemon\|SpiRegistry daemon' >&2)

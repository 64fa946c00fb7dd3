#!/usr/bin/env bash
# Runs a command against a Wayland compositor of its own: sway (1.7 on Debian
# 12, 1.10 on 13), headless (no screen, no input devices), as on a GNOME or
# KDE desktop on Wayland as far as a Qt program can tell. Qt uses its wayland
# platform there (from qt6-wayland), not XWayland, which is off. sway refuses
# to run as root, so started by root it runs as nobody; the command stays who
# it is, with WAYLAND_DISPLAY and SWAYSOCK naming the compositor's sockets, a
# runtime folder of its own, and a session bus with the accessibility bus
# behind it, but no system bus, so no program run here asks the machine's
# own logind to stay awake. All of it goes away with the command.
set -euo pipefail

compositor=$(mktemp -d)
runtime=$(mktemp -d)
as=()
if [ "$(id -u)" = 0 ]; then
    chown nobody:nogroup "$compositor"
    as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
chmod 700 "$compositor"
config=$compositor.conf
printf 'xwayland disable\noutput HEADLESS-1 resolution 1024x768\n' >"$config"
chmod 644 "$config"
(cd / && exec env -i PATH=/usr/bin:/bin HOME=/nonexistent XDG_RUNTIME_DIR="$compositor" \
    WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    "${as[@]}" sway -c "$config" >"$compositor.log" 2>&1) &
sway=$!
trap 'kill $sway 2>/dev/null; wait $sway 2>/dev/null || true; rm -rf "$compositor" "$compositor.conf" "$compositor.log" "$runtime"' EXIT
for _ in $(seq 100); do
    [ -S "$compositor/wayland-1" ] && ls "$compositor"/sway-ipc.*.sock >/dev/null 2>&1 && break
    sleep 0.1
done
[ -S "$compositor/wayland-1" ] || { cat "$compositor.log" >&2; echo "with-sway: sway did not start" >&2; exit 1; }

export WAYLAND_DISPLAY="$compositor/wayland-1"  # a path: the command's runtime folder is another
SWAYSOCK=$(ls "$compositor"/sway-ipc.*.sock)
export SWAYSOCK
# The seat's keyboard, as a desktop has one plugged in: a virtual keyboard
# that stays, so the focused window keeps the keyboard between the keys the
# command types (each wtype call brings its own and takes it away again).
wtype -s 1000000000 &
keyboard=$!
trap 'kill $keyboard $sway 2>/dev/null; wait $sway 2>/dev/null || true; rm -rf "$compositor" "$compositor.conf" "$compositor.log" "$runtime"' EXIT
export QT_QPA_PLATFORM=wayland
unset DISPLAY
export XDG_RUNTIME_DIR="$runtime"
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$runtime/no-system-bus"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
dbus-run-session -- "$@" 2> >(grep -v 'dbus-daemon\|SpiRegistry daemon' >&2)

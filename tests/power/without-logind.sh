#!/usr/bin/env bash
# Where no logind keeps the machine awake, an update goes on as before: with
# no system bus at all (a container, a minimal system), with a system bus
# that has no logind, and with a logind that takes the request and never
# answers. UpdaterSim runs a whole scripted update on the simulated board in
# each; the window never waits for logind, so each run takes as long as
# without it. Usage: without-logind.sh BUILD_DIR
set -euo pipefail
build=$1
source "$(dirname "$0")/system-bus.sh"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work
fail() { echo "FAIL: $*" >&2; exit 1; }

for setting in "no system bus" "a system bus without logind" "a logind that never answers"; do
    echo "== $setting"
    case $setting in
        "no system bus") export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/none" ;;
        "a system bus without logind") system_bus "$work" ;;
        "a logind that never answers") logind "$work/logind" --silent ;;  # on the bus of the row before
    esac
    start=$(date +%s%N)
    "$build/sim/UpdaterSim" --fast --scripted >"$work/transcript" 2>&1 || { cat "$work/transcript"; fail "no update"; }
    took=$(( ($(date +%s%N) - start) / 1000000 ))
    grep -qx '\[.*\] update complete' <<<"$(cat "$work/transcript")" || fail "no update"
    echo "updated in $took ms"
    # D-Bus gives up on a call after 25 s; a window that waited would show it.
    [ "$took" -le 10000 ] || fail "took $took ms"
    if [ "$setting" = "a logind that never answers" ]; then
        [ "$(inhibitors | grep -c '^inhibit ')" = 1 ] || fail "logind was not asked: $(inhibitors)"
    fi
done
echo "all passed"

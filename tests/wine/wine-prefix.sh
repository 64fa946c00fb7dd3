#!/usr/bin/env bash
# Makes or ends a Wine prefix for the Windows tests, with an X server of its
# own for the windows of the programs under test.
#   wine-prefix.sh up PREFIX [DPI...]
#                               starts Xvfb (96 dpi, its display in
#                               PREFIX.display for wine-run.sh), creates the
#                               prefix, and for each DPI a copy of it,
#                               PREFIX-dpiDPI, whose display has that density
#                               (run there by wine-density.sh); then starts a
#                               wineserver for PREFIX that stays and finishes
#                               wineboot, so each test starts quickly
#   wine-prefix.sh down PREFIX  stops the wineserver and the X server, and
#                               removes the copies
# Background processes must not inherit ctest's pipes: they would hold them
# open after the tests end, and ctest would wait for them.
set -euo pipefail
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
wine=/usr/lib/wine/wine64

case $action in
up)
    if [ -f "$WINEPREFIX.xvfb-pid" ]; then kill "$(cat "$WINEPREFIX.xvfb-pid")" 2>/dev/null || true; fi
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$fifo" </dev/null >/dev/null 2>&1 &
    echo $! >"$WINEPREFIX.xvfb-pid"
    display=
    read -r -t 20 display <"$fifo" || true
    rm -f "$fifo"
    [ -n "$display" ] || { echo "wine-prefix: Xvfb did not start" >&2; exit 1; }
    echo ":$display" >"$WINEPREFIX.display"
    export DISPLAY=":$display"
    # Sessions left by a run that was cut short end first.
    for prefix in "$WINEPREFIX" "$WINEPREFIX"-dpi*; do
        [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k </dev/null >/dev/null 2>&1 || true
    done
    mkdir -p "$WINEPREFIX"
    $wine wineboot -i </dev/null >/dev/null 2>&1
    # Without a window manager, a "managed" window costs two seconds when it
    # closes; Wine's own fonts let controls measure text as on Windows.
    $wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    # The session ends, so the prefix is whole on disk for the copies.
    timeout 120 wineserver -w
    # Wine fixes each monitor's dpi when a session starts (Wine 10; Wine 8 reads
    # it anew for each program): a copy's density is written while no session
    # runs there, in a short session that ends before its tests start theirs.
    # The copies are made side by side, while the tests' own session starts.
    copying=()
    for dpi in "${@:3}"; do
        (
            copy="$WINEPREFIX-dpi$dpi"
            rm -rf "$copy"
            cp -a "$WINEPREFIX" "$copy"
            WINEPREFIX=$copy $wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
                </dev/null >/dev/null 2>&1
            WINEPREFIX=$copy timeout 120 wineserver -w
        ) &
        copying+=($!)
    done
    wineserver -p </dev/null >/dev/null 2>&1
    $wine wineboot </dev/null >/dev/null 2>&1
    for pid in "${copying[@]}"; do wait "$pid"; done
    ;;
down)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    if [ -f "$WINEPREFIX.xvfb-pid" ]; then kill "$(cat "$WINEPREFIX.xvfb-pid")" 2>/dev/null || true; fi
    rm -f "$WINEPREFIX.xvfb-pid" "$WINEPREFIX.display"
    rm -rf "$WINEPREFIX"-dpi*
    ;;
*)
    echo "usage: wine-prefix.sh up PREFIX [DPI...] | down PREFIX" >&2
    exit 2
    ;;
esac

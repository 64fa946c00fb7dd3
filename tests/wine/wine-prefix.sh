#!/usr/bin/env bash
# Makes or ends a Wine prefix for the Windows tests, with an X server of its
# own for the windows of the programs under test.
#   wine-prefix.sh up PREFIX    starts Xvfb (96 dpi, its display in
#                               PREFIX.display for wine-run.sh), creates the
#                               prefix, starts a wineserver that stays and
#                               finishes wineboot, so each test starts quickly
#   wine-prefix.sh down PREFIX  stops the wineserver and the X server
# Background processes must not inherit ctest's pipes: they would hold them
# open after the tests end, and ctest would wait for them.
set -euo pipefail
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"

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
    mkdir -p "$WINEPREFIX"
    wineserver -p </dev/null >/dev/null 2>&1
    /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1
    # Without a window manager, a "managed" window costs two seconds when it
    # closes; Wine's own fonts let controls measure text as on Windows.
    /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
        </dev/null >/dev/null 2>&1
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    ;;
down)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    if [ -f "$WINEPREFIX.xvfb-pid" ]; then kill "$(cat "$WINEPREFIX.xvfb-pid")" 2>/dev/null || true; fi
    rm -f "$WINEPREFIX.xvfb-pid" "$WINEPREFIX.display"
    ;;
*)
    echo "usage: wine-prefix.sh up|down PREFIX" >&2
    exit 2
    ;;
esac

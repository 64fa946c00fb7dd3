#!/usr/bin/env bash
# Makes or ends a Wine prefix for the Windows tests.
#   wine-prefix.sh up PREFIX    creates it, starts a wineserver that stays,
#                               and finishes wineboot, so each test starts quickly
#   wine-prefix.sh down PREFIX  stops the wineserver
# Wine's background processes must not inherit ctest's pipes: they would hold
# them open after the tests end, and ctest would wait for them.
set -euo pipefail
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"

case $action in
up)
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
    ;;
*)
    echo "usage: wine-prefix.sh up|down PREFIX" >&2
    exit 2
    ;;
esac

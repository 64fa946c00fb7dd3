#!/usr/bin/env bash
# Runs a Windows program of this build at one display density: in the copy of
# the tests' prefix that wine-prefix.sh made for it, in a Wine session of its
# own on an X server of its own at that density. The session and the X server
# end with the program; its exit status is the script's.
#   wine-density.sh PREFIX DPI PROGRAM [ARGUMENT...]
# Background processes must not inherit ctest's pipes: they would hold them
# open after the test ends, and ctest would wait for them.
set -euo pipefail
export WINEPREFIX=$1-dpi$2
dpi=$2
shift 2
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
[ -d "$WINEPREFIX" ] || { echo "wine-density: no $WINEPREFIX (made by wine-prefix.sh up)" >&2; exit 1; }

# Room for the window at 200 %.
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1536x1152x24 -dpi "$dpi" -nolisten tcp 3>"$fifo" </dev/null >/dev/null 2>&1 &
xvfb=$!
display=
read -r -t 20 display <"$fifo" || true
rm -f "$fifo"
end() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    kill "$xvfb" 2>/dev/null || true
}
trap end EXIT
[ -n "$display" ] || { echo "wine-density: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display"

wineserver -p </dev/null >/dev/null 2>&1
/usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1
status=0
/usr/lib/wine/wine64 "$@" || status=$?
exit $status

#!/usr/bin/env bash
# Runs the Windows program, Updater.exe, under Wine against the simulated
# board built as FTD2XX.DLL, in real time, as on Linux UpdaterSim does.
# Arguments are the simulated board's options (see UpdaterSim --help), e.g.
#   scripts/run-windows.sh --fault ack-wrong@0x800
# With a display the window opens there. Without one it runs on a private X
# server, presses "Find Device" and "Flash Device" by itself and saves a
# picture of each display in build/windows-demo/demo/ (with --docs: in docs/).
set -euo pipefail
cd "$(dirname "$0")/.."

docs=0
if [ "${1:-}" = --docs ]; then docs=1; shift; fi
if [ "${1:-}" != --inside ]; then
    scripts/setup.sh windows imagemagick x11-utils xdotool
    cmake --preset windows-demo >/dev/null
    cmake --build --preset windows-demo
fi

demo=$PWD/build/windows-demo/demo
export WINEPREFIX=$PWD/build/windows-demo/demo-prefix
export WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
mkdir -p "$demo" "$WINEPREFIX"
cp build/windows-demo/window/win32/Updater.exe build/windows-demo/sim/d2xx-dll/FTD2XX.DLL "$demo/"
# Wine's desktop belongs to one display: end any left from another run.
wineserver -k </dev/null >/dev/null 2>&1 || true
# Wine's own fonts, among them the one that draws the caption buttons.
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true

if [ "${1:-}" = --inside ] || [ -z "${DISPLAY:-}" ]; then
    [ "${1:-}" = --inside ] && shift
    if [ -z "${DISPLAY:-}" ]; then
        echo "No display found: running on a private X server and saving pictures."
        exec tests/xserver/with-xvfb.sh "$0" $([ $docs = 1 ] && echo --docs) --inside "$@"
    fi
    out=$demo
    [ $docs = 1 ] && out=$PWD/docs
    /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1
    # No window manager here: Wine draws the window's frame itself, as Windows would.
    /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
        </dev/null >/dev/null 2>&1
    UPDATER_SIM="$*" /usr/lib/wine/wine64 "$demo/Updater.exe" </dev/null >/dev/null 2>&1 &
    pid=$!
    window() { timeout "${2:-30}" xdotool search --sync --onlyvisible --name "$1" | sed -n 1p; }
    shot() { sleep 0.5; import -window "$1" "$out/$2.png"; echo "$out/$2.png"; }
    main=$(window '^Zandor Firmware Updater v1\.6$')
    shot "$main" windows-idle
    # The window's frame (drawn by Wine) lies within its X window: a button's
    # place is the frame's left and top edges plus its place in the client area.
    eval "$(xwininfo -id "$main" | awk '/Width:/ {print "width=" $2} /Height:/ {print "height=" $2}')"
    edge=$(( (width - 336) / 2 ))
    top=$(( height - 273 - edge ))
    press() { xdotool mousemove --window "$main" $((edge + $1)) $((top + $2)) click 1; }
    press 168 232  # "Find Device", from the control table at 96 dpi
    shot "$main" windows-offer
    press 100 232  # "Flash Device"
    sleep 8
    shot "$main" windows-programming
    sleep 16
    shot "$main" windows-complete
    WINEPREFIX=$WINEPREFIX wineserver -k || true
    wait $pid 2>/dev/null || true
    exit 0
fi

/usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1
UPDATER_SIM="$*" exec /usr/lib/wine/wine64 "$demo/Updater.exe"

#!/usr/bin/env bash
# A Debian package of Updater as a person installs and starts it: installed
# with apt (which must find every dependency on this release), then the
# installed /usr/bin/Updater started from its desktop entry's command on an X
# server. With no interface attached it shows only its "USB Error!" box,
# read through the accessibility bus as a screen reader reads it, and ends
# when the box is closed. The package is removed again afterwards.
# The program's back ends find a D2XX library without devices and an empty
# modelled USB bus (from the debug build's tests), never a real device.
# Usage: .ci/installed-package.sh DEB   (from a clone whose debug build exists)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$PWD/build/debug
source tests/xserver/x-helpers.sh

if [ "${1:-}" = --inside ]; then
    LD_LIBRARY_PATH=$(no_hardware_path "$build") USBMODEL_DEVICES=none "$2" &
    pid=$!
    box=$(window '^USB Error!$' 30)
    on_model_only "$pid" "$build"
    want="alert 'USB Error!': Serial Link interface not found!"
    for _ in $(seq 50); do
        got=$(atspi box "$pid" 2>/dev/null || true)
        [ "$got" = "$want" ] && break
        sleep 0.1
    done
    [ "$got" = "$want" ] || fail "the box reads: $got"
    echo "$got"
    if xdotool search --onlyvisible --name "$caption" >/dev/null; then fail "the main window was shown"; fi
    xdotool windowfocus --sync "$box" key Return
    ends "$pid"
    exit 0
fi

deb=$(realpath "$1")
[ -d "$build/tests/no-hardware" ] || fail "no debug build in $build"
as_root=()
[ "$(id -u)" = 0 ] || as_root=(sudo)
apt=("${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -y -qq)
package=$(dpkg-deb -f "$deb" Package)
echo "== apt install $(basename "$deb")"
"${apt[@]}" install "$deb"
trap '"${apt[@]}" purge "$package" >/dev/null' EXIT
entry=$(dpkg -L "$package" | grep '^/usr/share/applications/.*\.desktop$') || fail "no desktop entry"
command=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
program=$(command -v "$command") || fail "the desktop entry's command $command is not on the path"
echo "== $program started"
tests/xserver/with-xvfb.sh "$0" --inside "$program"
echo "installed and started"

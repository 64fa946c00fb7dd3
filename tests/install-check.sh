#!/usr/bin/env bash
# What an installation carries, as a desktop, a software centre, man and udev
# look for it.
# Usage: install-check.sh BUILD_DIR
#          installs the build into a scratch folder and checks its files;
#        install-check.sh --apt PACKAGE.deb
#          installs the package with apt into this system (as root: meant for
#          a Debian root made for it), checks its files, and starts Updater
#          with no board on an X server of its own: it must show its
#          "Serial Link interface not found!" box ("USB Error!") and end when
#          the box is closed. The package is purged again at the end, so
#          another build of the same version can be checked next. Needs Xvfb
#          and xdotool.
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }

# The files under root $1.
check_files() {
    local root=$1 f size
    for f in usr/bin/Updater usr/share/applications/zandor-updater.desktop \
             usr/share/icons/hicolor/scalable/apps/zandor-updater.svg \
             usr/share/man/man1/Updater.1.gz usr/lib/udev/rules.d/70-zandor-updater.rules; do
        [ -e "$root/$f" ] || fail "missing from the installation: $f"
    done
    for size in 16 24 32 48 64 128 256; do
        f=usr/share/icons/hicolor/${size}x$size/apps/zandor-updater.png
        [ -e "$root/$f" ] || fail "missing from the installation: $f"
    done
    compgen -G "$root/usr/share/metainfo/*.metainfo.xml" >/dev/null || fail "no AppStream metadata"
    compgen -G "$root/usr/share/doc/zandor-updater*/copyright" >/dev/null || fail "no copyright file"
    grep -q '^Exec=Updater$' "$root/usr/share/applications/zandor-updater.desktop" || fail "desktop entry's Exec"
    grep -q 'TAG+="uaccess"' "$root/usr/lib/udev/rules.d/70-zandor-updater.rules" || fail "udev rule's uaccess"
}

if [ "${1:-}" != --apt ]; then
    build=$1
    stage=$(mktemp -d)
    trap 'rm -rf "$stage"' EXIT
    cmake --install "$build" --prefix "$stage/usr" >/dev/null
    check_files "$stage"
    # Nothing but the program and its files: no simulator, tests or tools.
    [ "$(ls "$stage/usr/bin")" = "Updater" ] || fail "unexpected programs: $(ls "$stage/usr/bin")"
    echo "installation complete"
    exit 0
fi

deb=$(realpath "$2")
[ "$(id -u)" = 0 ] || fail "--apt installs into this system: run it as root, in a root made for it"
package=$(dpkg-deb -f "$deb" Package)
echo "== apt installs $(basename "$deb") on Debian $(cat /etc/debian_version)"
log=$(mktemp)
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$deb" >"$log" 2>&1 ||
    { cat "$log"; fail "apt could not install the package"; }
rm -f "$log"
cleanup=(env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "$package")
trap '"${cleanup[@]}" >/dev/null' EXIT
[ "$(dpkg-query -W -f='${Status}' "$package")" = "install ok installed" ] || fail "$package is not installed"
check_files /
# The package's dependencies bring every library the program links.
missing=$(ldd /usr/bin/Updater | grep 'not found' || true)
[ -z "$missing" ] || fail "libraries the package does not bring: $missing"

echo "== Updater with no board, on an X server of its own"
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || fail "needs Xvfb and xdotool"
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb=$!
runtime=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$runtime"; "${cleanup[@]}" >/dev/null' EXIT
display=
read -r -t 20 display <"$fifo" || true
rm -f "$fifo"
[ -n "$display" ] || fail "Xvfb did not start"
export DISPLAY=":$display" XDG_RUNTIME_DIR=$runtime
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
# No USB device of this machine can be reached: /dev/bus/usb is empty in
# the program's own mount namespace.
if [ -d /dev/bus/usb ]; then
    unshare --mount --propagation private sh -c 'mount -t tmpfs none /dev/bus/usb && exec /usr/bin/Updater' &
else
    /usr/bin/Updater &
fi
updater=$!
box=$(timeout 30 xdotool search --sync --onlyvisible --name '^USB Error!$' | sed -n 1p) ||
    fail "no \"USB Error!\" box"
if xdotool search --onlyvisible --name '^Zandor Firmware Updater' >/dev/null; then fail "the window was shown"; fi
echo "box shown: window $box"
# Enter presses the box's button, through the X server's input as a keyboard would.
xdotool key Return
for _ in $(seq 100); do
    kill -0 $updater 2>/dev/null || break
    sleep 0.1
done
kill -0 $updater 2>/dev/null && { kill $updater; fail "Updater did not end when the box was closed"; }
wait $updater || fail "Updater ended with status $?"
echo "installed and started"

#!/usr/bin/env bash
# Installs with apt-get what one or more purposes need and is missing, on
# Debian 12 or 13, and any packages named on the command line besides.
# Runs apt-get as root, or through sudo.
# Usage: scripts/setup.sh PURPOSE... [PACKAGE...]
#   demo     build the demo preset and run UpdaterSim (scripts/run-demo.sh)
#   release  build the Linux package and the Windows installer, signed when
#            asked (scripts/build-release.sh)
#   debug    the debug and sanitizer builds and their suites
#   package-checks  Debian's checks on a built package
#   fuzz     the libFuzzer targets (scripts/fuzz.sh)
#   windows  the Windows cross build and its suites under Wine
#   test     all of the above (scripts/test.sh)
# Each list names packages that Debian 12 and Debian 13 both have; where a
# name carries a version, a package of the release's default follows it
# (libclang-rt-dev depends on the runtime of the release's clang).
set -euo pipefail

# Compiler, CMake and the libraries of the Linux program.
build=(build-essential cmake ninja-build pkg-config qt6-base-dev libgl-dev libftdi1-dev)
# The demo preset also builds the benchmarks; the window's texts need a font
# where the machine has none (a server, a container).
demo=("${build[@]}" libbenchmark-dev fonts-dejavu-core)
# The Windows cross compiler, and with it the installer's.
windows_cross=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev)
windows_build=("${windows_cross[@]}" nsis)
# The commit gives the time the files carry (git); CPack's shlibdeps needs
# `file`; osslsigncode signs the Windows files.
release=("${build[@]}" "${windows_build[@]}" git file osslsigncode)
# Debian's own checks on the package (lintian, desktop-file-validate,
# appstreamcli) and the icon drawn again from its SVG to compare its rasters.
package_checks=(lintian desktop-file-utils appstream librsvg2-bin)
# The kernel's USB stack in a QEMU guest: the emulator, the guest's small
# initramfs (busybox) and Debian 13's zstd-compressed kernel image.
kernel_lane=(qemu-system-x86 busybox-static zstd)
# The suites on Linux: GoogleTest, an X server and a Wayland compositor that
# the tests drive (xdotool, wtype, sway's swaymsg), the accessibility bus read
# with pyatspi, the demo package made by CPack, the kernel lane, and the cross compiler, without
# which the windows preset fails before it can refuse a build without a release.
debug=("${demo[@]}" "${windows_cross[@]}" googletest libgtest-dev file
  xvfb xdotool libxcb1-dev dbus at-spi2-core python3-pyatspi python3-dbus sway wtype qt6-wayland
  "${package_checks[@]}" "${kernel_lane[@]}")
# clang and its sanitizer and libFuzzer runtime.
fuzz=(clang libclang-rt-dev)
# GoogleTest's sources cross-built, Wine on an X server of its own, signing
# with a throw-away certificate.
windows=("${build[@]}" "${windows_build[@]}" googletest wine wine64 fonts-wine xvfb openssl osslsigncode)
test=("${demo[@]}" "${release[@]}" "${debug[@]}" "${fuzz[@]}" "${windows[@]}")

packages=()
for arg in "$@"; do
  case $arg in
    demo) packages+=("${demo[@]}") ;;
    release) packages+=("${release[@]}") ;;
    debug) packages+=("${debug[@]}") ;;
    package-checks) packages+=("${package_checks[@]}") ;;
    fuzz) packages+=("${fuzz[@]}") ;;
    windows) packages+=("${windows[@]}") ;;
    test) packages+=("${test[@]}") ;;
    *) packages+=("$arg") ;;
  esac
done
[ ${#packages[@]} -gt 0 ] || { echo "usage: $0 PURPOSE... [PACKAGE...] (see the script)" >&2; exit 2; }

missing=()
for p in $(printf '%s\n' "${packages[@]}" | sort -u); do
  # Read whole: grep -q leaving early would fail the pipe under pipefail.
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
apt=("${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)
"${apt[@]}" update -qq
"${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}"

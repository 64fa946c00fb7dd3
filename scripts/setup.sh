#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs, where they are missing,
# and any named on the command line. Runs apt-get as root, or through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libftdi1-dev
  clang libclang-rt-14-dev
  xvfb xdotool libxcb1-dev fonts-dejavu-core
  dbus at-spi2-core python3-pyatspi
  sway wtype qt6-wayland
  qemu-system-x86 busybox-static zstd
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine64 fonts-wine nsis osslsigncode openssl
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

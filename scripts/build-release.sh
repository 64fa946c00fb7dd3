#!/usr/bin/env bash
# Builds a release from a firmware image: the Debian package and the debug
# information of its program, Updater.exe and its installer, copied into OUT
# (build/release-files unless given) with their SHA-256 sums in
# OUT/SHA256SUMS. Two runs from one commit give the same bytes
# (scripts/check-reproducible.sh shows it).
# Usage: scripts/build-release.sh [--linux-only] IMAGE [OUT]
#   UPDATER_SIGN_PFX, UPDATER_SIGN_PASSWORD_FILE, UPDATER_SIGN_TIMESTAMP_URL:
#   sign the Windows files with that certificate; UPDATER_SIGNATURES: attach
#   a signed release's published signatures instead (see the README).
set -euo pipefail
cd "$(dirname "$0")/.."
windows=1
if [ "${1:-}" = --linux-only ]; then windows=0; shift; fi
[ $# -ge 1 ] || { echo "usage: $0 [--linux-only] IMAGE [OUT]" >&2; exit 2; }
image=$(realpath "$1")
out=$(realpath -m "${2:-build/release-files}")

scripts/setup.sh release
signing=()
for option in UPDATER_SIGN_PFX UPDATER_SIGN_PASSWORD_FILE UPDATER_SIGN_TIMESTAMP_URL UPDATER_SIGNATURES \
    UPDATER_SIGNATURES_CA_FILE; do
    [ -n "${!option:-}" ] && signing+=("-D$option=${!option}")
done

cmake --preset release -DUPDATER_FIRMWARE_IMAGE="$image" >/dev/null
cmake --build --preset release
# The .deb's own archive members take their modes from the umask.
(umask 022 && cd build/release && cpack -G DEB >/dev/null)
version=$(sed -n 's/^project(Updater VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
cp build/release/window/qt/Updater.debug "build/release/zandor-updater_${version}_amd64.debug"
files=(build/release/zandor-updater_*_amd64.deb "build/release/zandor-updater_${version}_amd64.debug")
if [ $windows = 1 ]; then
    cmake --preset windows -DUPDATER_FIRMWARE_IMAGE="$image" "${signing[@]}" >/dev/null
    cmake --build --preset windows
    files+=(build/windows/Updater-*-win64.exe build/windows/window/win32/Updater.exe)
    # A signed release publishes its signatures, so anyone can rebuild it.
    [ -n "${UPDATER_SIGN_PFX:-}" ] && files+=(build/windows/signatures/*.sig)
fi

mkdir -p "$out"
(cd "$out" && rm -f SHA256SUMS ./*.deb ./*.debug ./*.exe ./*.sig)
cp "${files[@]}" "$out/"
(cd "$out" && sha256sum -- * >SHA256SUMS)
echo "release files in $out:"
cat "$out/SHA256SUMS"

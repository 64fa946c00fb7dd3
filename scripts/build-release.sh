#!/usr/bin/env bash
# Builds a release from a firmware image: the Debian package and the debug
# information of its program, Updater.exe and its installer, copied into OUT
# (build/release-files unless given) with their SHA-256 sums in
# OUT/SHA256SUMS. Two runs from one commit give the same bytes, whatever
# folders the tree and the builds are in (scripts/check-reproducible.sh
# shows it).
# Usage: scripts/build-release.sh [--linux-only] [--build-dir DIR] IMAGE [OUT]
#   --build-dir DIR: build in DIR/release and DIR/windows instead of the
#   tree's build/release and build/windows.
#   UPDATER_SIGN_PFX, UPDATER_SIGN_PASSWORD_FILE, UPDATER_SIGN_TIMESTAMP_URL:
#   sign the Windows files with that certificate; UPDATER_SIGNATURES: attach
#   a signed release's published signatures instead (see the README).
set -euo pipefail
cd "$(dirname "$0")/.."
windows=1
builds=build
while [ $# -gt 0 ]; do
    case $1 in
    --linux-only) windows=0; shift ;;
    --build-dir) builds=$2; shift 2 ;;
    *) break ;;
    esac
done
[ $# -ge 1 ] || { echo "usage: $0 [--linux-only] [--build-dir DIR] IMAGE [OUT]" >&2; exit 2; }
image=$(realpath "$1")
out=$(realpath -m "${2:-build/release-files}")
builds=$(realpath -m "$builds")

scripts/setup.sh release
signing=()
for option in UPDATER_SIGN_PFX UPDATER_SIGN_PASSWORD_FILE UPDATER_SIGN_TIMESTAMP_URL UPDATER_SIGNATURES \
    UPDATER_SIGNATURES_CA_FILE; do
    [ -n "${!option:-}" ] && signing+=("-D$option=${!option}")
done

# A release is built from clean, so that nothing an earlier build left in
# the folder (moc's output, say, from before a change of its settings) goes
# into it. Each build lists what a release publishes from it, by this
# build's names (release-files: "NAME<tab>PATH" a line), so that no file
# an earlier version left there is taken for it.
listed=()
take() {
    local name path
    while IFS=$'\t' read -r name path; do
        [ -f "$path" ] || { echo "build-release: $path was not made" >&2; exit 1; }
        listed+=("$name" "$path")
    done <"$1/release-files"
}

cmake --preset release -B "$builds/release" -DUPDATER_FIRMWARE_IMAGE="$image" >/dev/null
cmake --build "$builds/release" --parallel 2 --clean-first
while IFS=$'\t' read -r name path; do
    [[ $name = *.deb ]] && rm -f "$path"
done <"$builds/release/release-files"
# The .deb's own archive members take their modes from the umask.
(umask 022 && cd "$builds/release" && cpack -G DEB >/dev/null)
take "$builds/release"
if [ $windows = 1 ]; then
    cmake --preset windows -B "$builds/windows" -DUPDATER_FIRMWARE_IMAGE="$image" "${signing[@]}" >/dev/null
    cmake --build "$builds/windows" --parallel 2 --clean-first
    take "$builds/windows"
fi

mkdir -p "$out"
(cd "$out" && rm -f SHA256SUMS ./*.deb ./*.debug ./*.exe ./*.sig)
names=()
for ((i = 0; i < ${#listed[@]}; i += 2)); do
    cp "${listed[i + 1]}" "$out/${listed[i]}"
    names+=("${listed[i]}")
done
(cd "$out" && sha256sum -- "${names[@]}" >SHA256SUMS)
echo "release files in $out:"
cat "$out/SHA256SUMS"

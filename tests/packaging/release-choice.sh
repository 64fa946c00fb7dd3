#!/usr/bin/env bash
# A build that names no firmware release stops when it is configured, the
# presets that packages are made from included; the demo release, chosen on
# purpose, gives packages that say "demo" in their name and description.
# Usage: release-choice.sh SOURCE_DIR DEMO_BUILD_DIR
set -euo pipefail
src=$1
build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

refused() {
    local what=$1
    shift
    if (cd "$src" && cmake "$@") >"$work/out" 2>&1; then fail "$what: configured without a release"; fi
    grep -q -- '-DUPDATER_FIRMWARE_IMAGE=' "$work/out" && grep -q -- '-DUPDATER_DEMO_RELEASE=ON' "$work/out" ||
        { cat "$work/out"; fail "$what: the message does not name both choices"; }
    echo "refused: $what"
}
refused "the release preset" --preset release -B "$work/release"
refused "the windows preset" --preset windows -B "$work/windows"
refused "no preset" -S . -B "$work/plain" -G Ninja

echo "== a named release makes the release package"
head -c 131080 /dev/zero >"$work/release.img"
(cd "$src" && cmake --preset release -B "$work/named" -DUPDATER_FIRMWARE_IMAGE="$work/release.img") >/dev/null
grep -q '^set(CPACK_PACKAGE_NAME "zandor-updater")$' "$work/named/CPackConfig.cmake" ||
    fail "the release package is not named zandor-updater"

echo "== the demo release makes a package named as demo"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null
deb=$(cd "$work/package" && ls ./*.deb)
[ "$deb" = ./zandor-updater-demo_1.6.0.1_amd64.deb ] || fail "demo package file: $deb"
[ "$(dpkg-deb -f "$work/package/$deb" Package)" = zandor-updater-demo ] || fail "package name"
# Read whole before matching: grep -q stops reading at its match, and the
# writer's SIGPIPE would fail the pipe under pipefail.
description=$(dpkg-deb -f "$work/package/$deb" Description)
grep -q 'DEMO.*never use on a real board' <<<"$description" ||
    fail "the description does not say demo"
grep -qx zandor-updater <<<"$(dpkg-deb -f "$work/package/$deb" Conflicts)" || fail "installs beside the release"
echo "all passed"

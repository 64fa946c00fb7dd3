#!/usr/bin/env bash
# Builds the release twice, from two copies of this tree, one after the
# other, and compares every output byte for byte; a difference fails the
# check and is explained by diffoscope where it is installed. Prints each
# output's SHA-256. The two builds differ in everything that must not
# matter:
#   first   source one/src, built inside it (build/), TZ=UTC, C.UTF-8, umask 022
#   second  source b/other/src, built outside it in b/build, at another depth
#           and place relative to its source, TZ=Pacific/Kiritimati, POSIX,
#           umask 002, with packages of an earlier version left in its build
#           and output folders, which must not reach the release.
# The release package also passes Debian's checks (tests/packaging/debian-checks.sh).
# Usage: scripts/check-reproducible.sh [--linux-only] [IMAGE]
#   IMAGE: the firmware image to build with; a generated one without it.
#   SOURCE_DATE_EPOCH: the time the outputs carry; the last commit's without it.
set -euo pipefail
cd "$(dirname "$0")/.."
only=()
if [ "${1:-}" = --linux-only ]; then only=(--linux-only); shift; fi

scripts/setup.sh release package-checks
work=$(mktemp -d "${TMPDIR:-/tmp}/reproducible.XXXXXX")
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}

image=${1:-$work/release.img}
if [ $# -eq 0 ]; then
    # "FW", version 1.6, length 131,072, and a fixed pattern: only its bytes matter here.
    { printf 'FW\000\026\000\002\000\000'; head -c 131072 < <(yes 'a release image for the reproducibility check'); } >"$image"
fi

# The tree as it is, committed or not, in two places.
one=$work/one/src
two=$work/b/other/src
for tree in "$one" "$two"; do
    mkdir -p "$tree"
    git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - | tar -xf - -C "$tree"
done
builds_one=$one/build
builds_two=$work/b/build

# What an earlier version's release left behind.
stale=(zandor-updater_1.5.0.0_amd64.deb zandor-updater_1.5.0.0_amd64.debug Updater-1.5.0.0-win64.exe Updater.exe.sig)
mkdir -p "$builds_two/release" "$builds_two/windows/signatures" "$work/two/out"
for file in "${stale[@]}"; do
    for folder in "$builds_two/release" "$builds_two/windows" "$builds_two/windows/signatures" "$work/two/out"; do
        echo "left by version 1.5.0.0" >"$folder/$file"
    done
done

echo "== first build, in $one"
(cd "$one" && umask 022 && TZ=UTC LC_ALL=C.UTF-8 scripts/build-release.sh "${only[@]}" "$image" "$work/one/out") \
    >"$work/one.log" 2>&1 || { tail -30 "$work/one.log"; exit 1; }
echo "== second build, of $two in $builds_two"
(cd "$two" && umask 002 && TZ=Pacific/Kiritimati LC_ALL=POSIX \
    scripts/build-release.sh "${only[@]}" --build-dir "$builds_two" "$image" "$work/two/out") \
    >"$work/two.log" 2>&1 || { tail -30 "$work/two.log"; exit 1; }

# Each release holds this build's files and nothing else, and lists them.
for side in one two; do
    held=$(cd "$work/$side/out" && LC_ALL=C ls)
    listed=$({ awk '{ print $2 }' "$work/$side/out/SHA256SUMS"; echo SHA256SUMS; } | LC_ALL=C sort)
    [ "$held" = "$listed" ] || { echo "release $side holds files SHA256SUMS does not list: $held" >&2; exit 1; }
    if grep -F 1.5.0.0 "$work/$side/out/SHA256SUMS"; then
        echo "release $side took a file an earlier version left" >&2
        exit 1
    fi
done

outputs=(release/window/qt/Updater release/sim/UpdaterSim release/tools/UpdaterPack)
for f in "$work"/one/out/*; do outputs+=("out:$(basename "$f")"); done
if [ ${#only[@]} -eq 0 ]; then outputs+=(windows/sim/d2xx-dll/FTD2XX.DLL); fi
[ "$(ls "$work/one/out")" = "$(ls "$work/two/out")" ] || { echo "the releases hold different files" >&2; exit 1; }

where() {
    case $2 in
    out:*) echo "$work/$1/out/${2#out:}" ;;
    *) if [ "$1" = one ]; then echo "$builds_one/$2"; else echo "$builds_two/$2"; fi ;;
    esac
}
different=0
echo "SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH"
for output in "${outputs[@]}"; do
    a=$(where one "$output")
    b=$(where two "$output")
    if cmp -s "$a" "$b"; then
        echo "same  $(sha256sum "$a" | cut -d' ' -f1)  ${output#out:}"
    else
        echo "DIFFERENT  ${output#out:}"
        different=1
        if command -v diffoscope >/dev/null; then diffoscope --text - "$a" "$b" | head -100 || true; fi
    fi
done
if [ $different = 1 ]; then
    echo "not reproducible; both builds are kept in $work" >&2
    exit 1
fi

echo "== Debian's checks on the release package"
tests/packaging/debian-checks.sh "$work"/one/out/*.deb
rm -rf "$work"
echo "reproducible: two builds, byte for byte the same"

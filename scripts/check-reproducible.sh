#!/usr/bin/env bash
# Builds the release twice, from two copies of this tree in different folders,
# one after the other, in different time zones, locales and umasks, and
# compares every output byte for byte; a difference fails the check and is
# explained by diffoscope where it is installed. Prints each output's SHA-256.
# Usage: scripts/check-reproducible.sh [--linux-only] [IMAGE]
#   IMAGE: the firmware image to build with; a generated one without it.
#   SOURCE_DATE_EPOCH: the time the outputs carry; the last commit's without it.
set -euo pipefail
cd "$(dirname "$0")/.."
only=()
if [ "${1:-}" = --linux-only ]; then only=(--linux-only); shift; fi

scripts/setup.sh release
work=$(mktemp -d "${TMPDIR:-/tmp}/reproducible.XXXXXX")
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}

image=${1:-$work/release.img}
if [ $# -eq 0 ]; then
    # "FW", version 1.6, length 131,072, and a fixed pattern: only its bytes matter here.
    { printf 'FW\000\026\000\002\000\000'; head -c 131072 < <(yes 'a release image for the reproducibility check'); } >"$image"
fi

# The tree as it is, committed or not, in two places of different depth.
one=$work/one/src
two=$work/second/copy/at/another/depth/source
for tree in "$one" "$two"; do
    mkdir -p "$tree"
    git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - | tar -xf - -C "$tree"
done

echo "== first build, in $one"
(cd "$one" && umask 022 && TZ=UTC LC_ALL=C.UTF-8 scripts/build-release.sh "${only[@]}" "$image" "$work/one/out") >"$work/one.log" 2>&1 ||
    { tail -30 "$work/one.log"; exit 1; }
echo "== second build, in $two"
(cd "$two" && umask 002 && TZ=Pacific/Kiritimati LC_ALL=POSIX scripts/build-release.sh "${only[@]}" "$image" "$work/two/out") \
    >"$work/two.log" 2>&1 || { tail -30 "$work/two.log"; exit 1; }

outputs=(build/release/window/qt/Updater build/release/sim/UpdaterSim build/release/tools/UpdaterPack)
for f in "$work"/one/out/*; do outputs+=("out:$(basename "$f")"); done
if [ ${#only[@]} -eq 0 ]; then outputs+=(build/windows/sim/d2xx-dll/FTD2XX.DLL); fi

where() { case $2 in out:*) echo "$work/$1/out/${2#out:}" ;; *) echo "$([ "$1" = one ] && echo "$one" || echo "$two")/$2" ;; esac; }
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
rm -rf "$work"
echo "reproducible: two builds, byte for byte the same"

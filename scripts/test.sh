#!/usr/bin/env bash
# Sets everything up, builds, and runs every test: the debug build's suites, a
# short run of each fuzz target (UPDATER_FUZZ_SECONDS, default 60), the suites
# again under AddressSanitizer and UndefinedBehaviorSanitizer, the Windows
# build's suites under Wine, and two release builds compared byte for byte.
# Usage: scripts/test.sh [PART...]
#   PART: debug, fuzz, sanitize, windows, reproducible; all of them without one.
#   Only what the parts named need is installed.
set -euo pipefail
cd "$(dirname "$0")/.."

all=(debug fuzz sanitize windows reproducible)
parts=("$@")
[ ${#parts[@]} -gt 0 ] || parts=("${all[@]}")
purposes=()
for part in "${parts[@]}"; do
  case $part in
    debug | sanitize) purposes+=(debug) ;;
    fuzz) purposes+=(fuzz) ;;
    windows) purposes+=(windows) ;;
    reproducible) purposes+=(release) ;;
    *) echo "unknown part $part; the parts: ${all[*]}" >&2; exit 2 ;;
  esac
done

start=$SECONDS
scripts/setup.sh "${purposes[@]}"
times=("setup $((SECONDS - start)) s")
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
export QT_QPA_PLATFORM=offscreen

suite() {
  echo "== $1 build =="
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
  ctest --preset "$1"
}

for part in "${parts[@]}"; do
  start=$SECONDS
  case $part in
    debug) suite debug ;;
    fuzz)
      echo "== fuzz targets =="
      scripts/fuzz.sh "${UPDATER_FUZZ_SECONDS:-60}"
      ;;
    sanitize) suite sanitize ;;
    windows) suite windows-demo ;;
    reproducible)
      echo "== reproducible release =="
      scripts/check-reproducible.sh
      ;;
  esac
  times+=("$part $((SECONDS - start)) s")
done
echo "== took: $(printf '%s, ' "${times[@]}" | sed 's/, $//')"

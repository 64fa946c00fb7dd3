#!/usr/bin/env bash
# Sets everything up, builds, and runs every test: once in the debug build,
# once under AddressSanitizer and UndefinedBehaviorSanitizer, then a short
# run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
export QT_QPA_PLATFORM=offscreen

for preset in debug sanitize; do
  echo "== $preset build =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

echo "== fuzz targets =="
scripts/fuzz.sh "${UPDATER_FUZZ_SECONDS:-60}"

#!/usr/bin/env bash
# Sets everything up, builds, and runs every test: the debug build's suites, a
# short run of each fuzz target (UPDATER_FUZZ_SECONDS, default 60), the suites
# again under AddressSanitizer and UndefinedBehaviorSanitizer, the Windows
# build's suites under Wine, and two release builds compared byte for byte.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
export QT_QPA_PLATFORM=offscreen

suite() {
  echo "== $1 build =="
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
  ctest --preset "$1"
}

suite debug
echo "== fuzz targets =="
scripts/fuzz.sh "${UPDATER_FUZZ_SECONDS:-60}"
suite sanitize
suite windows-demo
echo "== reproducible release =="
scripts/check-reproducible.sh

#!/usr/bin/env bash
# The whole-update figure over real libftdi1 and the USB-level FT232R model
# (about 21 s): builds the release preset and runs the benchmark with the
# model as libusb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh demo
cmake --preset demo >/dev/null
cmake --build --preset demo
LD_LIBRARY_PATH=build/demo/sim/usb-model/lib exec build/demo/bench/updater_usb_bench "$@"

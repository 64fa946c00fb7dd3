#!/usr/bin/env bash
# The USB-level FT232R model against the kernel's own USB stack: the same
# whole update through the production libftdi1 back end and real libftdi1,
# once over the model (standing in for libusb, in real time on this
# machine) and once over Debian's libusb, usbfs and dummy_hcd with the
# simulated board behind a FunctionFS FT232R (in the QEMU guest of
# tests/kernel), each with libusb-trace.so recording the libusb calls; then
# their figures side by side (sim/bodies/usb-model/Calibration.md has them).
# Usage: bench/usb-calibration.sh [RUNS]   (default 1 each)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/demo

if [ "${1:-}" = --in-guest ]; then  # the guest's half, as root
    out=/run/guest-out
    runs=$2
    for run in $(seq "$runs"); do
        "$build/sim/functionfs/Ft232rGadget" --report "$out/kernel-$run.report" &
        gadget=$!
        for _ in $(seq 100); do ls /sys/bus/usb/devices/1-1:1.0/ttyUSB* >/dev/null 2>&1 && break; sleep 0.1; done
        LIBUSB_TRACE_OUT=$out/kernel-$run.trace LD_PRELOAD=$build/bench/libusb-trace.so \
            LD_LIBRARY_PATH=$build/tests/no-hardware "$build/bench/updater_usb_once"
        kill "$gadget"
        wait "$gadget"
    done
    exit 0
fi

runs=${1:-1}
cd "$root"
scripts/setup.sh
cmake --preset demo >/dev/null
cmake --build --preset demo
out=$build/calibration
mkdir -p "$out"
for run in $(seq "$runs"); do
    LIBUSB_TRACE_OUT=$out/model-$run.trace LD_PRELOAD=$build/bench/libusb-trace.so \
        LD_LIBRARY_PATH=$build/sim/usb-model/lib "$build/bench/updater_usb_once"
done
GUEST_OUT_DIR=$out tests/kernel/in-guest.sh "$build/guest-kernel" "$root/bench/usb-calibration.sh" --in-guest "$runs"
args=()
for run in $(seq "$runs"); do
    args+=("model-$run=$out/model-$run.trace" "kernel-$run=$out/kernel-$run.trace,$out/kernel-$run.report")
done
/usr/bin/python3 bench/usb-trace-figures.py "${args[@]}"

#!/usr/bin/env bash
# Runs a command as root in a QEMU guest with Debian's own kernel and this
# machine's root filesystem (read-only, under a tmpfs overlay), and exits
# with its exit status. The guest is made by guest.py and kept in CACHE_DIR.
# QEMU emulates the CPU (TCG: KVM is not available everywhere this runs),
# one CPU, as one was found stable with dummy_hcd; an oops panics the guest
# at once, and a guest that does not boot or ends without a status fails the
# run.
#
# The guest's clock counts the instructions it executes (-icount shift=0: a
# CPU of one instruction a nanosecond) while it works, and runs with the real
# one only while it idles. So the emulated machine is as fast as itself on a
# busy shared host: whatever else the host runs, and however long the
# emulator stops to translate code, its programs see the same machine, and
# what it emulates in real time (a chip's FIFO filling at the wire rate) is
# not overrun by a pause its programs never saw.
# Usage: [GUEST_OUT_DIR=DIR] in-guest.sh CACHE_DIR COMMAND [ARGS...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=$1
shift

release=$(/usr/bin/python3 "$here/guest.py" "$cache")
# The guest's writable folder, /run/guest-out: GUEST_OUT_DIR keeps it.
if [ -n "${GUEST_OUT_DIR:-}" ]; then
    work=$GUEST_OUT_DIR
    mkdir -p "$work"
    rm -f "$work/status"
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
chmod 755 "$work"
{
    echo '#!/bin/sh'
    echo 'export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 TERM=dumb'
    printf 'exec'
    printf ' %q' "$@"
    echo
} >"$work/run"
chmod 755 "$work/run"

echo "in-guest: kernel $release"
start=$(date +%s%N)
timeout "${GUEST_TIMEOUT:-900}" qemu-system-x86_64 \
    -nodefaults -no-user-config -no-reboot -display none -monitor none -serial stdio \
    -machine pc,accel=tcg -cpu max -smp 1 -m 1536 -icount shift=0 \
    -kernel "$cache/vmlinux" -initrd "$cache/initramfs.cpio" \
    -append "console=ttyS0 loglevel=4 oops=panic panic_on_oops=1 panic=-1 mitigations=off guest.run=/run/guest-out/run" \
    -fsdev local,id=root,path=/,security_model=none,readonly=on,multidevs=remap \
    -device virtio-9p-pci,fsdev=root,mount_tag=root \
    -fsdev local,id=out,path="$work",security_model=none \
    -device virtio-9p-pci,fsdev=out,mount_tag=out \
    </dev/null || echo "in-guest: QEMU ended with status $?"
echo "in-guest: guest ran $(( ($(date +%s%N) - start) / 1000000 )) ms"
[ -f "$work/status" ] || { echo "in-guest: the guest ended without a status" >&2; exit 1; }
exit "$(cat "$work/status")"

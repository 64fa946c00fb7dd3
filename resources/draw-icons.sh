#!/usr/bin/env bash
# Draws every raster of the program icon from updater.svg: the PNGs that
# Linux desktops take from the hicolor theme (icons/updater-SIZE.png) and
# the Windows icon updater.ico, with the sizes Windows asks for from 100 % to
# 200 % display scaling (16, 20, 24, 32, 40, 48, 64) and 256 for Explorer's
# large views, stored as PNG as Windows keeps it. The results are committed,
# so that no build needs an SVG renderer; tests/packaging/IconTest.cpp checks
# that they still show what updater.svg draws. Run this after changing it.
# Needs rsvg-convert (librsvg2-bin) and icotool (icoutils).
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p icons
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w $size -h $size updater.svg -o icons/updater-$size.png
done
ico=()
for size in 16 20 24 32 40 48 64; do
  rsvg-convert -w $size -h $size updater.svg -o "$work/$size.png"
  ico+=("$work/$size.png")
done
rsvg-convert -w 256 -h 256 updater.svg -o "$work/256.png"
icotool --create --output=updater.ico "${ico[@]}" --raw="$work/256.png"

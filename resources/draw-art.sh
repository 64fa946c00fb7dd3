#!/usr/bin/env bash
# Draws the window's photograph (a stylised controller board) with
# ImageMagick. The result is committed; run this only to change it. The
# program icon is drawn from updater.svg by draw-icons.sh.
set -euo pipefail
cd "$(dirname "$0")"

convert -size 160x120 xc:'#e8e8e0' \
  -fill '#1d6b3a' -stroke '#0f3d20' -draw 'roundrectangle 12,14 148,106 6,6' \
  -stroke none -fill '#c9a43b' -draw 'circle 20,22 23,22' -draw 'circle 140,22 143,22' \
  -draw 'circle 20,98 23,98' -draw 'circle 140,98 143,98' \
  -fill '#222222' -draw 'rectangle 58,40 102,80' \
  -fill '#c0c0c0' -draw 'rectangle 52,44 58,46 rectangle 102,44 108,46 rectangle 52,50 58,52 rectangle 102,50 108,52 rectangle 52,56 58,58 rectangle 102,56 108,58 rectangle 52,62 58,64 rectangle 102,62 108,64 rectangle 52,68 58,70 rectangle 102,68 108,70 rectangle 52,74 58,76 rectangle 102,74 108,76' \
  -fill '#888888' -draw 'rectangle 118,46 146,74' -fill '#555555' -draw 'rectangle 122,52 146,68' \
  -fill '#f2f2f2' -draw 'rectangle 24,36 40,44' -draw 'rectangle 24,76 40,84' \
  -fill '#d43b2a' -draw 'circle 32,60 35,60' \
  -fill '#e0c060' -stroke '#e0c060' -strokewidth 1 \
  -draw 'line 40,40 52,45' -draw 'line 40,80 52,75' -draw 'line 108,57 118,57' \
  -quality 85 -strip board.jpg

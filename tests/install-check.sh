#!/usr/bin/env bash
# Installs the build into a scratch folder and checks what a desktop and udev need.
set -euo pipefail
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cmake --install "$build" --prefix "$stage/usr" >/dev/null
for f in usr/bin/Updater usr/share/applications/zandor-updater.desktop \
         usr/share/icons/hicolor/{16x16,24x24,32x32,48x48,64x64,128x128,256x256}/apps/zandor-updater.png \
         usr/share/icons/hicolor/scalable/apps/zandor-updater.svg \
         usr/lib/udev/rules.d/70-zandor-updater.rules; do
  [ -e "$stage/$f" ] || { echo "missing from the installation: $f"; exit 1; }
done
grep -q '^Exec=Updater$' "$stage/usr/share/applications/zandor-updater.desktop"
grep -q 'TAG+="uaccess"' "$stage/usr/lib/udev/rules.d/70-zandor-updater.rules"
# Nothing but the program and its files: no simulator, tests or tools.
[ "$(ls "$stage/usr/bin")" = "Updater" ] || { echo "unexpected programs: $(ls "$stage/usr/bin")"; exit 1; }
echo "installation complete"

#!/usr/bin/env bash
# The Windows installer under Wine, as a user runs it: a silent install, the
# installed program started on a machine without FTDI's driver (it reports
# the missing interface and ends), then a silent uninstall.
# PRODUCT is what the installer calls the program: its folder, shortcut and
# entry among the installed apps.
# With CA_FILE, the installed Updater.exe and Uninstall.exe must carry
# Authenticode signatures that osslsigncode accepts against it.
# Usage: installer.sh WINE_RUN INSTALLER UI_TESTS PREFIX PRODUCT [CA_FILE]
set -euo pipefail
run=$1
installer=$2
ui_tests=$3
prefix=$4
product=$5
ca=${6:-}

fail() { echo "FAIL: $*" >&2; exit 1; }
installed="$prefix/drive_c/Program Files/$product"
shortcuts() { find "$prefix/drive_c" -ipath '*Start Menu*' -name "$product.lnk" 2>/dev/null; }

echo "== install"
"$run" "$installer" /S
[ -f "$installed/Updater.exe" ] || fail "no Updater.exe in $installed"
[ ! -e "$installed/FTD2XX.DLL" ] || fail "the installer carries FTD2XX.DLL"
[ -f "$installed/Uninstall.exe" ] || fail "no uninstaller"
[ -n "$(shortcuts)" ] || fail "no Start-menu shortcut"
if [ -n "$ca" ]; then
    for f in Updater.exe Uninstall.exe; do
        osslsigncode verify -CAfile "$ca" -in "$installed/$f" >/dev/null 2>&1 || fail "$f is not signed"
    done
fi
"$run" reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product" \
    >/dev/null 2>&1 || fail "not listed among installed programs"

echo "== the installed program without FTDI's driver"
UPDATER_INSTALLED_EXE="C:\\Program Files\\$product\\Updater.exe" \
    "$run" "$ui_tests" --gtest_filter=InstalledProgram.*

echo "== uninstall"
"$run" "$installed/Uninstall.exe" /S
# The uninstaller goes on from a copy of itself in the temporary folder.
for _ in $(seq 100); do
    [ ! -e "$installed/Updater.exe" ] && [ -z "$(shortcuts)" ] && break
    sleep 0.2
done
[ ! -e "$installed/Updater.exe" ] || fail "Updater.exe is still installed"
[ -z "$(shortcuts)" ] || fail "the Start-menu shortcut is still there"
echo "installed, run and uninstalled"

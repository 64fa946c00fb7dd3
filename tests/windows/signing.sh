#!/usr/bin/env bash
# Signing with a throw-away certificate made here: a build with
# UPDATER_SIGN_PFX signs Updater.exe, the uninstaller and the installer so
# that osslsigncode accepts them against that certificate and refuses a file
# changed after signing; the signed files carry the unsigned build's bytes
# (its signature attached to the unsigned Updater.exe gives the signed one);
# a rebuild from the published signatures (UPDATER_SIGNATURES) gives the
# signed installer byte for byte; and the signed installer installs, runs and
# uninstalls under Wine.
# Usage: signing.sh SOURCE_DIR UNSIGNED_BUILD WINE_RUN UI_TESTS PREFIX PRODUCT
set -euo pipefail
src=$1 unsigned=$2 run=$3 ui_tests=$4 prefix=$5 product=$6
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
verify() { osslsigncode verify -CAfile "$work/ca.crt" -in "$1" >"$work/verify.log" 2>&1; }

echo "== a throw-away certificate authority and code-signing certificate"
cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 2 -subj "/CN=Throw-away test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=Zandor test signer" 2>/dev/null
printf 'extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\n' >signer.ext
openssl x509 -req -in signer.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out signer.crt -days 2 \
    -extfile signer.ext 2>/dev/null
echo "a password" >password
openssl pkcs12 -export -in signer.crt -inkey signer.key -certfile ca.crt -out signer.pfx -passout file:password

echo "== a signed build"
cmake -S "$src" --preset windows-demo -B "$work/build" -DUPDATER_BUILD_TESTS=OFF \
    -DUPDATER_SIGN_PFX="$work/signer.pfx" -DUPDATER_SIGN_PASSWORD_FILE="$work/password" >/dev/null
cmake --build "$work/build" --target installer >/dev/null
exe=$work/build/window/win32/Updater.exe
installer=$(ls "$work"/build/Updater-demo-*-win64.exe)
for f in "$exe" "$installer"; do verify "$f" || { cat "$work/verify.log"; fail "not accepted: $f"; }; done
ls "$work/build/signatures"
cp "$installer" "$work/tampered.exe"
printf 'X' | dd of="$work/tampered.exe" bs=1 seek=$(( $(stat -c %s "$installer") / 2 )) conv=notrunc 2>/dev/null
if verify "$work/tampered.exe"; then fail "a file changed after signing was accepted"; fi
echo "accepted; refused once changed"

echo "== the unsigned build's bytes under the signature"
osslsigncode attach-signature -sigin "$work/build/signatures/Updater.exe.sig" -CAfile "$work/ca.crt" \
    -in "$unsigned/window/win32/Updater.exe" -out "$work/attached.exe" >/dev/null
cmp "$work/attached.exe" "$exe" || fail "the signed Updater.exe is not the unsigned one signed"

echo "== rebuilt from the published signatures"
cp "$installer" "$work/signed-installer.exe"
cp -r "$work/build/signatures" "$work/published"
cmake "$work/build" -DUPDATER_SIGN_PFX= -DUPDATER_SIGNATURES="$work/published" \
    -DUPDATER_SIGNATURES_CA_FILE="$work/ca.crt" >/dev/null
cmake --build "$work/build" --target installer >/dev/null
cmp "$installer" "$work/signed-installer.exe" || fail "the rebuilt installer differs from the signed one"

echo "== the signed installer under Wine"
"$(dirname "$0")/installer.sh" "$run" "$installer" "$ui_tests" "$prefix" "$product" "$work/ca.crt"
echo "signed, verified, rebuilt and installed"

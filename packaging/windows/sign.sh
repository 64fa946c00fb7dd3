#!/usr/bin/env bash
# Authenticode for the Windows files, in place, with osslsigncode.
#   sign.sh sign TOOL PFX PASSWORD_FILE TIMESTAMP_URL|- TIME SIGNATURES NAME FILE
#     signs FILE (SHA-256, certificate and key from the PKCS#12 file, its
#     password read from a file, the signing time given, so that signing one
#     file twice with one key gives the same bytes; an RFC 3161 time stamp
#     when a server is named) and keeps the signature as SIGNATURES/NAME.sig;
#   sign.sh attach TOOL SIGNATURES CA_FILE|- NAME FILE
#     attaches SIGNATURES/NAME.sig, a published signature, to FILE; it fails
#     unless the signature was made for exactly these bytes by a certificate
#     that CA_FILE (or the system's certificate authorities) vouches for.
# The build runs it on Updater.exe after linking, and makensis on the
# uninstaller and the installer it makes (!uninstfinalize, !finalize).
set -euo pipefail
mode=$1 tool=$2
case $mode in
sign)
    pfx=$3 password=$4 url=$5 time=$6 signatures=$7 name=$8 file=$9
    stamp=()
    [ "$url" != - ] && stamp=(-ts "$url")
    "$tool" sign -pkcs12 "$pfx" -readpass "$password" -h sha256 -n "Zandor Firmware Updater" \
        -time "$time" "${stamp[@]}" -in "$file" -out "$file.signed" >/dev/null
    mkdir -p "$signatures"
    rm -f "$signatures/$name.sig"
    "$tool" extract-signature -in "$file.signed" -out "$signatures/$name.sig" >/dev/null
    ;;
attach)
    signatures=$3 ca=$4 name=$5 file=$6
    authorities=()
    [ "$ca" != - ] && authorities=(-CAfile "$ca")
    "$tool" attach-signature -sigin "$signatures/$name.sig" "${authorities[@]}" -in "$file" \
        -out "$file.signed" >/dev/null
    ;;
*)
    echo "sign.sh: sign or attach, not $mode" >&2
    exit 2
    ;;
esac
mv -f "$file.signed" "$file"

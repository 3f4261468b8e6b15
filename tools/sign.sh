#!/bin/bash
# Signs FILE in place with an Authenticode signature (osslsigncode, SHA-256):
#   sign.sh CERT KEY FILE [TIMESTAMP_URL]
# CERT: the certificate with its chain (PEM or DER); KEY: its private key
# (PEM or DER); TIMESTAMP_URL: an RFC 3161 time-stamping server. A key's
# passphrase comes from PELMORA_SIGN_PASS, never from the command line.
set -euo pipefail
cert="$1" key="$2" file="$3" timestamp="${4:-}"
args=(-certs "$cert" -key "$key" -h sha256 -n Pelmora)
if [ -n "${PELMORA_SIGN_PASS:-}" ]; then
    # osslsigncode reads it from a file only it and we can read, gone at the end.
    pass_dir="$(mktemp -d)"
    trap 'rm -rf "$pass_dir"' EXIT
    (umask 077; printf '%s' "$PELMORA_SIGN_PASS" > "$pass_dir/pass")
    args+=(-readpass "$pass_dir/pass")
fi
if [ -n "$timestamp" ]; then args+=(-ts "$timestamp"); fi
rm -f "$file.signing"
osslsigncode sign "${args[@]}" -in "$file" -out "$file.signing" >/dev/null
mv -f "$file.signing" "$file"

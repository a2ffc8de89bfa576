#!/usr/bin/env bash
# sign.sh FILE...: signs Windows programs, DLLs and installers in place with
# osslsigncode (Authenticode, SHA-256) when a key is given, and leaves them
# as they are otherwise, so that every build can call it.
#   KAVLEN_SIGN_PKCS12     the PKCS#12 file (.p12, .pfx) with the key and
#                          its certificate chain
#   KAVLEN_SIGN_PASSWORD   its password
#   KAVLEN_SIGN_TIMESTAMP  optional: a timestamp server's address, so that
#                          the signature outlives the certificate
# scripts/package.sh calls it on the programs before they are packed and on
# the MSIs it writes.
set -euo pipefail

[ -n "${KAVLEN_SIGN_PKCS12:-}" ] || exit 0
[ -f "$KAVLEN_SIGN_PKCS12" ] || { echo "sign: $KAVLEN_SIGN_PKCS12: no such file" >&2; exit 1; }
[ -n "${KAVLEN_SIGN_PASSWORD+set}" ] || { echo "sign: KAVLEN_SIGN_PASSWORD is not set" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# the password from a file, not on a command line others can read
(umask 077 && printf '%s' "$KAVLEN_SIGN_PASSWORD" >"$work/password")
timestamp=()
[ -z "${KAVLEN_SIGN_TIMESTAMP:-}" ] || timestamp=(-ts "$KAVLEN_SIGN_TIMESTAMP")

for file in "$@"; do
  osslsigncode sign -pkcs12 "$KAVLEN_SIGN_PKCS12" -readpass "$work/password" -h sha256 \
    -n kavlen -i https://kavlen.example.org "${timestamp[@]}" \
    -in "$file" -out "$work/signed" >"$work/log" 2>&1 || { cat "$work/log" >&2; echo "sign: $file failed" >&2; exit 1; }
  # keep the file's mode and time: packages carry the commit's time
  touch -r "$file" "$work/signed"
  chmod --reference="$file" "$work/signed"
  mv "$work/signed" "$file"
  echo "signed: $file"
done

#!/usr/bin/env bash
# signatures.sh <bin folder> <authority.pem> [--chain]: both programs carry a
# valid SHA-256 Authenticode signature that chains to the authority, and a
# copy with one byte changed does not verify. With --chain the file is the
# signing certificate with its chain: the signature must chain to the
# certificates after the first one, or to the system's trusted roots.
set -uo pipefail
bin="$1"; ca="$2"
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
if [ "${3:-}" = --chain ]; then
  awk 'BEGIN { n = 0 } /BEGIN CERTIFICATE/ { n++ } n > 1' "$ca" > "$work/trusted.pem"
  [ -f /etc/ssl/certs/ca-certificates.crt ] && cat /etc/ssl/certs/ca-certificates.crt >> "$work/trusted.pem"
  ca="$work/trusted.pem"
fi
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for program in TW.Install.UI2.exe TW.Remover.exe; do
  out=$(osslsigncode verify -CAfile "$ca" -in "$bin/$program" 2>&1) || fail "$program does not verify: $out"
  grep -q "Message digest algorithm *: SHA256" <<<"$out" || fail "$program is not signed with SHA-256 digests"
  grep -q "Signature verification: ok" <<<"$out" || fail "$program: no verified signature"
  # One byte in the middle of the code, which the signature covers.
  cp "$bin/$program" "$work/$program"
  size=$(stat -c %s "$work/$program")
  offset=$((size / 3))
  byte=$(od -An -tu1 -j "$offset" -N1 "$work/$program" | tr -d ' ')
  printf "$(printf '\\%03o' $(((byte + 1) % 256)))" | dd of="$work/$program" bs=1 seek="$offset" conv=notrunc 2>/dev/null
  cmp -s "$bin/$program" "$work/$program" && fail "$program: the copy was not changed"
  osslsigncode verify -CAfile "$ca" -in "$work/$program" >/dev/null 2>&1 && fail "$program: a changed copy verifies"
done
[ "$failures" -eq 0 ] && echo "both programs are signed; changed copies are rejected"
exit "$failures"

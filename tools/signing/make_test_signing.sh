#!/usr/bin/env bash
# make_test_signing.sh <folder>: a throwaway certificate authority and one
# code-signing certificate it signs, for builds that are not the publisher's:
# ca.pem, code.pem (the certificate and the authority) and code.key. Kept when
# it exists.
set -euo pipefail
dir="$1"
[ -f "$dir/code.pem" ] && [ -f "$dir/code.key" ] && exit 0
mkdir -p "$dir"
cd "$dir"
openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Tarnwick Test Code Signing Authority" \
  -keyout ca.key -out ca.pem -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=Tarnwick Software (test)/O=Tarnwick Software" \
  -keyout code.key -out code.csr 2>/dev/null
cat > code.ext <<'EXT'
basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=codeSigning
EXT
openssl x509 -req -in code.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 3650 \
  -extfile code.ext -out code.crt 2>/dev/null
cat code.crt ca.pem > code.pem

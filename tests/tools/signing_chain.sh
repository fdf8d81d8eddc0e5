#!/usr/bin/env bash
# signing_chain.sh <bin folder>: a publisher's certificate file holds its chain
# up to the root (root, intermediate, leaf). Copies of both programs signed
# with it verify against that chain alone, as the Signatures test does when
# no TW_SIGN_CA is given; the leaf alone does not verify them.
set -euo pipefail
bin="$(cd "$1" && pwd)"; here="$(cd "$(dirname "$0")" && pwd)"
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
cd "$work"
quiet() { "$@" >/dev/null 2>&1; }
quiet openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Chain Test Root" -keyout root.key -out root.pem \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
quiet openssl req -newkey rsa:2048 -nodes -subj "/CN=Chain Test Intermediate" -keyout mid.key -out mid.csr
printf 'basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\n' > mid.ext
quiet openssl x509 -req -in mid.csr -CA root.pem -CAkey root.key -CAcreateserial -days 30 -extfile mid.ext -out mid.pem
quiet openssl req -newkey rsa:2048 -nodes -subj "/CN=Chain Test Publisher" -keyout code.key -out code.csr
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' > code.ext
quiet openssl x509 -req -in code.csr -CA mid.pem -CAkey mid.key -CAcreateserial -days 30 -extfile code.ext -out code.crt
cat code.crt mid.pem root.pem > chain.pem
mkdir signed
for program in TW.Install.UI2.exe TW.Remover.exe; do
  quiet osslsigncode remove-signature -in "$bin/$program" -out "unsigned-$program"
  quiet osslsigncode sign -certs chain.pem -key code.key -h sha256 -in "unsigned-$program" -out "signed/$program"
done
bash "$here/signatures.sh" "$work/signed" chain.pem --chain
if bash "$here/signatures.sh" "$work/signed" code.crt --chain >/dev/null 2>&1; then
  echo "FAIL: the leaf alone verified the programs"; exit 1
fi

#!/usr/bin/env bash
# make_test_ca.sh <folder>: a test certificate authority and one server
# certificate it signs, for loopback and for the host names that the local
# proxy stands in for, and a self-signed one that nothing trusts. Kept when
# they exist for the same names.
set -euo pipefail
dir="$1"
names="IP:127.0.0.1,DNS:127.0.0.1,DNS:localhost,DNS:downloads.tarnwick.example,DNS:downloads.larkspur.example"
names="$names,DNS:*.s3.us-east-1.amazonaws.com,DNS:*.s3-eu-west-1.amazonaws.com,DNS:*.s3.amazonaws.com"
[ -f "$dir/server.pem" ] && [ -f "$dir/ca.der" ] && [ -f "$dir/untrusted.pem" ] &&
  [ "$(cat "$dir/server.names" 2>/dev/null)" = "$names" ] && exit 0
mkdir -p "$dir"
cd "$dir"
openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Tarnwick Test Authority" \
  -keyout ca.key -out ca.pem -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl x509 -in ca.pem -outform DER -out ca.der
openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" -keyout server.key -out server.csr 2>/dev/null
cat > server.ext <<EXT
basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=$names
EXT
printf '%s' "$names" > server.names
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 3650 \
  -extfile server.ext -out server.crt 2>/dev/null
cat server.crt server.key > server.pem
# A certificate that no authority the tests trust has issued, for the proxy's
# stand-in of "untrusted.tarnwick.example".
openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=untrusted.tarnwick.example" \
  -keyout untrusted.key -out untrusted.crt -addext "subjectAltName=DNS:untrusted.tarnwick.example" 2>/dev/null
cat untrusted.crt untrusted.key > untrusted.pem

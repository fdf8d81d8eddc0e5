#!/usr/bin/env bash
# start_peers.sh <data folder> [peer_server options]: the test authority, the S3
# objects and the loopback peer server; prints the server's process id once its
# ports are known.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
data="$1"
shift
"$here/make_test_ca.sh" "$data/ca"
cp "$data/ca/ca.der" "$data/ca.der"
mkdir -p "$data/www/s3/tarnwick-test/release"
printf 'S3 object body\n' > "$data/www/s3/tarnwick-test/release/object.bin"
printf 'S3 object body\n' > "$data/www/s3/tarnwick-test/release/TW 3D été.bin"
rm -f "$data/peer-ports.json"
/usr/bin/python3 "$here/peer_server.py" --root "$data/www" --cert "$data/ca/server.pem" \
  --ports "$data/peer-ports.json" --keys AKIDTEST:secret123 "$@" </dev/null >"$data/peer.log" 2>&1 &
pid=$!
for _ in $(seq 100); do
  [ -f "$data/peer-ports.json" ] && break
  kill -0 "$pid" 2>/dev/null || { cat "$data/peer.log" >&2; exit 1; }
  sleep 0.1
done
echo "$pid"

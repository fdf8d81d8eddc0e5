#!/usr/bin/env bash
# The benchmark: one run on this machine of the silent install of the
# release-like package with its 29,011,464-byte application from a loopback
# HTTPS server, against the floor (native curl + zlib) and a peer installer
# (NSIS) under the same Wine, and the uninstall of both. Figures, not tests.
#   ./tw bench            everything
#   ./tw bench download   the download install against the floor only
set -euo pipefail
ROOT="$TW_ROOT"
BIN="$TW_BUILD/bin"
OUT="$TW_BUILD/bench"
WINE=/usr/lib/wine/wine
WINESERVER=/usr/lib/wine/wineserver
APP_SIZE=29011464
export WINEDEBUG=-all WINEPREFIX="$TW_BUILD/../wine-bench"
what="${1:-all}"

# Output goes through a file: a program that the inspected one starts may
# inherit a pipe and hold it open long after.
inspector() {
  local rc=0
  "$WINE" "$BIN/TW.Inspector.exe" "$@" </dev/null >"$OUT/inspector.out" 2>/dev/null || rc=$?
  sed 's/\r$//' "$OUT/inspector.out"
  return $rc
}
windows_path() { echo "Z:${1//\//\\}"; }
now() { date +%s.%N; }
ms_since() { python3 -c "import sys;print(round((float(sys.argv[2])-float(sys.argv[1]))*1000))" "$1" "$(now)"; }
field() { sed -n "s/.*$1=\([0-9]*\).*/\1/p"; }
mb() { python3 -c "import sys;print('%.1f' % (int(sys.argv[1])/1048576))" "$1"; }
ratio() { python3 -c "import sys;print('%.2f' % (float(sys.argv[1])/float(sys.argv[2])))" "$1" "$2"; }
wait_gone() { for _ in $(seq 600); do inspector gone >/dev/null && return 0; sleep 0.1; done; return 1; }
cleanup() { [ -n "${PEER_PID:-}" ] && kill "$PEER_PID" 2>/dev/null; "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true; }
trap cleanup EXIT
mkdir -p "$OUT/www/files"

"$WINESERVER" -p </dev/null >/dev/null 2>&1 || true
WINEDLLOVERRIDES="mscoree,mshtml=;${WINEDLLOVERRIDES:-}" "$WINE" wineboot </dev/null >/dev/null 2>&1 # no .NET or HTML engine needed
"$TW_ROOT/tools/wine/own_user_folders.sh" "$WINEPREFIX"
# The build's stand-in release: the setup program knows its SHA-256.
cp "$TW_BUILD/release/TW.3D.Modeller.exe" "$OUT/TW.3D.Modeller.exe"
cp "$TW_BUILD/release/TW.3D.Modeller.body" "$OUT/www/files/TW.3D.Modeller.exe"
cp "$TW_BUILD/release/TW.3D.Modeller.body.blocks" "$OUT/www/files/TW.3D.Modeller.exe.blocks"
# The next version, for the update.
cp "$TW_BUILD/release/TW.3D.Modeller.v2.body" "$OUT/www/files/TW.3D.Modeller.v2.exe"
cp "$TW_BUILD/release/TW.3D.Modeller.v2.body.blocks" "$OUT/www/files/TW.3D.Modeller.v2.exe.blocks"
CAP_RATE=$((4 * 1024 * 1024)) # bytes a second on each connection of the capped peer
PEER_PID=$("$ROOT/tests/peers/start_peers.sh" "$OUT" --connection-rate "$CAP_RATE")
PORTS="$OUT/peer-ports.json"
HTTPS=$(python3 -c "import json;print(json.load(open('$PORTS'))['https'])")
inspector trust "$(windows_path "$OUT/ca.der")" >/dev/null || true
inspector proxy "$(python3 -c "import json;print(json.load(open('$PORTS'))['proxy'])")" >/dev/null
[ -n "$(inspector uninstall-string)" ] && { inspector uninstall >/dev/null; wait_gone || true; }
BODY=$(stat -c %s "$OUT/www/files/TW.3D.Modeller.exe")
MAP=$(stat -c %s "$OUT/www/files/TW.3D.Modeller.exe.blocks")

# setup_with <name> <url> <program> <version> <blocks or "">: a copy of the
# release setup program carrying the release package made for another
# download (twpack build of the same manifest).
setup_with() {
  local deployment
  deployment=$(sed -n 's/^DeploymentID=//p' "$ROOT/TW.Install.UI2/Resources/NLS/0-neutral.txt" | tr -d '\r')
  "$TW_HOST_BUILD/twpack" build "$ROOT/TW.Install.UI2/Package/Release.manifest" "$OUT/$1.pack" \
    -D "REMOVER=$BIN/TW.Remover.exe" -D "DEPLOYMENT_ID=$deployment" -D "VERSION=$4" -D "DOWNLOAD_URL=$2" \
    -D "DOWNLOAD_SIZE=$(stat -c %s "$3")" -D "DOWNLOAD_PROGRAM=$3" -D "DOWNLOAD_BLOCKS=$5" "${AGENT[@]}" >/dev/null
  inspector package "$(windows_path "$BIN/TW.Install.UI2.exe")" "$(windows_path "$OUT/$1.exe")" \
    "$(windows_path "$OUT/$1.pack")" >/dev/null
}
# The build's own settings; a build with a release feed packs its update agent.
cache() { sed -n "s/^$1:[A-Z]*=//p" "$TW_BUILD/CMakeCache.txt"; }
AGENT=()
[ -f "$BIN/TW.Update.exe" ] && [ -n "$(cache TW_FEED_URL)" ] && AGENT=(--add "compressed TW.Update.exe $BIN/TW.Update.exe")
served() { curl -s --cacert "$OUT/ca/ca.pem" "https://127.0.0.1:$HTTPS/served" | python3 -c 'import json,sys;print(json.load(sys.stdin)["bytes"])'; }
reset_served() { curl -s --cacert "$OUT/ca/ca.pem" "https://127.0.0.1:$HTTPS/reset" >/dev/null; }
# timed_install <setup>: "<wall ms> <peak bytes> <body bytes served>" of a silent install; the application it starts is closed.
timed_install() {
  reset_served
  local run
  run=$(inspector measure "$(windows_path "$1")" /Silent "/Log=$(windows_path "$OUT/setup.log")")
  [ "$(echo "$run" | field exit)" = 0 ] || { echo "the silent install of $1 failed: $run" >&2; exit 1; }
  for _ in $(seq 50); do inspector close "Tarnwick 3D Modeller" >/dev/null && break; sleep 0.2; done
  echo "$(echo "$run" | field wall_ms) $(echo "$run" | field peak_working_set) $(served)"
}
uninstall_quietly() { inspector uninstall >/dev/null; wait_gone; }
RELEASE_URL=https://downloads.tarnwick.example/release/TW.3D.Modeller.exe
VERSION=$(sed -n 's/^TW_VERSION:[A-Z]*=//p' "$TW_BUILD/CMakeCache.txt")
setup_with stream "$RELEASE_URL" "$OUT/TW.3D.Modeller.exe" "$VERSION" ""

echo "Tarnwick 3D setup benchmark, $(date -u +%Y-%m-%d), one run"
echo "machine: $(nproc) cores, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1), $("$WINE" --version 2>/dev/null)"
echo "application: $APP_SIZE bytes, published body $BODY bytes (size + zlib), from https://127.0.0.1 (loopback)"
echo

# Ours (the release package without its block map, so the body comes in one
# stream, silent, with its log for the split of the download's time), fetch only (the project's own HTTP client fetching
# the same body, through the same proxy, into memory, in a process of its
# own) and, but for "download", our uninstall: three rounds, and the median
# of each, as one install on this machine varies by a third from run to run.
median() { printf '%s\n' "$@" | sort -n | sed -n 2p; }
LOG_FILE="$OUT/setup.log"
ours_runs=(); peaks=(); fetch_runs=(); fetch_peaks=(); winhttp_runs=(); winhttp_peaks=(); exit_runs=(); gone_runs=()
for round in 1 2 3; do
  fetch=$(inspector measure "$(windows_path "$BIN/TW.FetchOnly.exe")" "https://downloads.tarnwick.example/release/TW.3D.Modeller.exe")
  [ "$(echo "$fetch" | field exit)" = 0 ] || { echo "the fetch-only program failed: $fetch"; exit 1; }
  fetch_runs+=("$(echo "$fetch" | field wall_ms)"); fetch_peaks+=("$(echo "$fetch" | field peak_working_set)")
  # The same body over WinHTTP, the other stack, through the same proxy and TLS: a measurement only.
  winhttp=$(inspector measure "$(windows_path "$BIN/TW.FetchOnly.WinHttp.exe")" "https://downloads.tarnwick.example/release/TW.3D.Modeller.exe")
  [ "$(echo "$winhttp" | field exit)" = 0 ] || { echo "the WinHTTP fetch-only program failed: $winhttp"; exit 1; }
  winhttp_runs+=("$(echo "$winhttp" | field wall_ms)"); winhttp_peaks+=("$(echo "$winhttp" | field peak_working_set)")
  rm -f "$LOG_FILE"
  ours=$(inspector measure "$(windows_path "$OUT/stream.exe")" /Silent "/Log=$(windows_path "$LOG_FILE")")
  [ "$(echo "$ours" | field exit)" = 0 ] || { echo "the silent install failed: $ours"; exit 1; }
  ours_runs+=("$(echo "$ours" | field wall_ms)"); peaks+=("$(echo "$ours" | field peak_working_set)")
  # The application was started at the end (StartAtEnd): close it again.
  for _ in $(seq 50); do inspector close "Tarnwick 3D Modeller" >/dev/null && break; sleep 0.2; done
  [ "$what" = download ] && [ $round = 3 ] && break
  removal=$(inspector uninstall)
  exit_runs+=("$(echo "$removal" | sed -n 's/.* after \([0-9]*\) ms;.*/\1/p')")
  gone_runs+=("$(echo "$removal" | sed -n 's/.*gone after \([0-9]*\) ms.*/\1/p')")
  wait_gone
done
ours_ms=$(median "${ours_runs[@]}")
fetch_ms=$(median "${fetch_runs[@]}")
printf '%-34s %7s ms  %6s MB/s  peak working set %s MB (target at most 24)  (runs %s ms)\n' "ours: silent install (one stream)" "$ours_ms" \
  "$(python3 -c "print('%.1f' % ($APP_SIZE/1048576/($ours_ms/1000)))")" "$(mb "$(median "${peaks[@]}")")" "${ours_runs[*]}"
sed -n 's/.*download split: /  the download, last run: /p' "$LOG_FILE" | tr -d '\r'
printf '%-34s %7s ms  %6s MB/s  peak working set %s MB  (runs %s ms)\n' "fetch only: our HTTP client" "$fetch_ms" \
  "$(python3 -c "print('%.1f' % ($APP_SIZE/1048576/($fetch_ms/1000)))")" "$(mb "$(median "${fetch_peaks[@]}")")" "${fetch_runs[*]}"
echo "ratio ours/fetch-only: $(ratio "$ours_ms" "$fetch_ms")"
winhttp_ms=$(median "${winhttp_runs[@]}")
printf '%-34s %7s ms  %6s MB/s  peak working set %s MB  (runs %s ms)\n' "fetch only: WinHTTP (measured only)" \
  "$winhttp_ms" "$(python3 -c "print('%.1f' % ($APP_SIZE/1048576/($winhttp_ms/1000)))")" \
  "$(mb "$(median "${winhttp_peaks[@]}")")" "${winhttp_runs[*]}"
echo "ratio WinHTTP/WinINet fetch only: $(ratio "$winhttp_ms" "$fetch_ms")"

# The floor: the same bytes fetched, inflated and written by native tools.
start=$(now)
curl -s --cacert "$OUT/ca/ca.pem" "https://127.0.0.1:$HTTPS/files/TW.3D.Modeller.exe" |
  python3 -c 'import sys,zlib; d=sys.stdin.buffer.read(); open(sys.argv[1],"wb").write(zlib.decompress(d[4:]))' "$OUT/floor.exe"
floor_ms=$(ms_since "$start")
cmp -s "$OUT/floor.exe" "$OUT/TW.3D.Modeller.exe" || { echo "the floor produced other bytes"; exit 1; }
printf '%-34s %7s ms  %6s MB/s\n' "floor: curl + zlib (native)" "$floor_ms" \
  "$(python3 -c "print('%.1f' % ($APP_SIZE/1048576/($floor_ms/1000)))")"
echo "ratio ours/floor: $(ratio "$ours_ms" "$floor_ms")"
[ "$what" = download ] && exit 0

# Ours: removal through the entry's UninstallString, timed inside the prefix.
gone_ms=$(median "${gone_runs[@]}")
printf '%-34s %7s ms  (the remover exits after %s ms; runs %s ms)\n' "ours: uninstall until folder gone" "$gone_ms" \
  "$(median "${exit_runs[@]}")" "${gone_runs[*]}"

# The peer: NSIS with the same payload, the same folders, zlib.
makensis -V1 -DOUT="$OUT/NsisSetup.exe" -DAPP="$OUT/TW.3D.Modeller.exe" \
  -DDATA_FOLDER="$ROOT/TW.Install.UI2/Package/Data" "$ROOT/demo/Peer.nsi" >/dev/null
nsis_runs=(); nsis_peaks=(); nsis_un_runs=()
for round in 1 2 3; do
  nsis=$(inspector measure "$(windows_path "$OUT/NsisSetup.exe")" /S)
  nsis_runs+=("$(echo "$nsis" | field wall_ms)"); nsis_peaks+=("$(echo "$nsis" | field peak_working_set)")
  nsis_dir=$("$WINE" winepath -u 'C:\users' 2>/dev/null </dev/null)
  uninstaller=$(find "$nsis_dir" -path '*TarnwickNSIS/Uninstall.exe' | head -1)
  local_dir=$("$WINE" winepath -w "$(dirname "$uninstaller")" 2>/dev/null </dev/null | tr -d '\r')
  nsis_un_runs+=("$(inspector measure "$(windows_path "$uninstaller")" /S "_?=$local_dir" | field wall_ms)")
done
nsis_ms=$(median "${nsis_runs[@]}")
nsis_un_ms=$(median "${nsis_un_runs[@]}")
printf '%-34s %7s ms  %6s MB/s  peak working set %s MB  (runs %s ms)\n' "peer: NSIS install (embedded)" "$nsis_ms" \
  "$(python3 -c "print('%.1f' % ($APP_SIZE/1048576/($nsis_ms/1000)))")" "$(mb "$(median "${nsis_peaks[@]}")")" "${nsis_runs[*]}"
printf '%-34s %7s ms  (runs %s ms)\n' "peer: NSIS uninstall" "$nsis_un_ms" "${nsis_un_runs[*]}"
echo
echo "ratio ours/NSIS install: $(ratio "$ours_ms" "$nsis_ms")"
echo "ratio ours/NSIS uninstall: $(ratio "$gone_ms" "$nsis_un_ms") (target at most 1.5)"
# unsigned <program>: its size without the signature ("-" when it carries none).
unsigned() {
  rm -f "$OUT/unsigned.exe"
  osslsigncode remove-signature -in "$1" -out "$OUT/unsigned.exe" >/dev/null 2>&1 && stat -c %s "$OUT/unsigned.exe" || stat -c %s "$1"
}
setup=$(stat -c %s "$BIN/TW.Install.UI2.exe")
setup_unsigned=$(unsigned "$BIN/TW.Install.UI2.exe")
pack=$(stat -c %s "$TW_BUILD/package/Setup.pack")
echo "setup program: $setup bytes signed, $setup_unsigned unsigned; without its package resource ($pack bytes; the application is downloaded): $((setup - pack)) signed, $((setup_unsigned - pack)) unsigned"
echo "remover: $(stat -c %s "$BIN/TW.Remover.exe") bytes signed, $(unsigned "$BIN/TW.Remover.exe") unsigned; NSIS installer: $(stat -c %s "$OUT/NsisSetup.exe") bytes (the application is embedded)"
[ "$what" = download ] && exit 0

# Updates, with the release setup program as built (its package names the
# block map): a fresh install (every chunk fetched, up to 4 connections), a
# repair (the same again), each the median of three rounds, the update to the next version's stand-in (4 KiB
# inserted, 3 places changed), and fresh installs from a peer that caps each
# connection at CAP_RATE, over one stream (no map) and in parallel.
# The fresh install and the repair run three rounds too (an uninstall
# before each but the first); the medians are compared.
echo
fresh_runs=(); fresh_peaks=(); repair_runs=(); repair_bytes_runs=()
for round in 1 2 3; do
  [ $round = 1 ] || uninstall_quietly
  read -r fresh_ms fresh_peak fresh_bytes <<<"$(timed_install "$BIN/TW.Install.UI2.exe")"
  fresh_runs+=("$fresh_ms"); fresh_peaks+=("$fresh_peak")
  read -r repair_ms _ repair_bytes <<<"$(timed_install "$BIN/TW.Install.UI2.exe")"
  repair_runs+=("$repair_ms"); repair_bytes_runs+=("$repair_bytes")
done
fresh_ms=$(median "${fresh_runs[@]}")
repair_ms=$(median "${repair_runs[@]}")
printf '%-34s %7s ms  peak working set %s MB  body bytes %s (map included)  (runs %s ms)\n' \
  "ours: fresh install (block map)" "$fresh_ms" "$(mb "$(median "${fresh_peaks[@]}")")" "$fresh_bytes" "${fresh_runs[*]}"
printf '%-34s %7s ms  body bytes %s  (runs %s ms)\n' "ours: repair (same version)" "$repair_ms" \
  "$(median "${repair_bytes_runs[@]}")" "${repair_runs[*]}"
echo "ratio repair/fresh install: $(ratio "$repair_ms" "$fresh_ms") (target at most 0.3)"
echo "ratio fresh install (block map)/one stream: $(ratio "$fresh_ms" "$ours_ms") (target at most 1.05)"
setup_with update https://downloads.tarnwick.example/release/TW.3D.Modeller.v2.exe \
  "$TW_BUILD/release/TW.3D.Modeller.v2.exe" 2.0.0 blocks
# Three rounds of the update too, each from a fresh v1.
update_runs=()
for round in 1 2 3; do
  [ $round = 1 ] || { uninstall_quietly; timed_install "$BIN/TW.Install.UI2.exe" >/dev/null; }
  read -r update_ms _ update_bytes <<<"$(timed_install "$OUT/update.exe")"
  update_runs+=("$update_ms")
done
update_ms=$(median "${update_runs[@]}")
update_body=$(stat -c %s "$OUT/www/files/TW.3D.Modeller.v2.exe")
update_map=$(stat -c %s "$OUT/www/files/TW.3D.Modeller.v2.exe.blocks")
printf '%-34s %7s ms  body bytes %s (map %s of them) of %s  (runs %s ms)\n' "ours: update v1 -> v2" "$update_ms" \
  "$update_bytes" "$update_map" "$update_body" "${update_runs[*]}"
echo "ratio update bytes (without the map)/full body: $(ratio "$((update_bytes - update_map))" "$update_body")"
echo "ratio update/fresh install time: $(ratio "$update_ms" "$fresh_ms") (target at most 0.6)"
uninstall_quietly

# The application updates itself: v1 (the release setup program, which packs
# the agent) runs; the agent checks the signed feed and stages v2 while it
# runs; v2 is placed once the application has ended, and starts. The v2
# setup program is signed and named by a signed feed, as a publisher
# publishes them; bytes are the peer's, times are taken inside the prefix.
if [ ${#AGENT[@]} -gt 0 ]; then
  timed_install "$BIN/TW.Install.UI2.exe" >/dev/null
  mkdir -p "$OUT/www/feeds"
  if [ -n "$(cache TW_SIGN_CERT)" ]; then
    rm -f "$OUT/www/files/Setup2.exe"
    osslsigncode sign -certs "$(cache TW_SIGN_CERT)" -key "$(cache TW_SIGN_KEY)" -h sha256 -in "$OUT/update.exe" \
      -out "$OUT/www/files/Setup2.exe" >/dev/null
  else
    cp "$OUT/update.exe" "$OUT/www/files/Setup2.exe"
  fi
  deployment=$(sed -n 's/^DeploymentID=//p' "$ROOT/TW.Install.UI2/Resources/NLS/0-neutral.txt" | tr -d '\r')
  "$TW_HOST_BUILD/twpack" feed "$OUT/www/feeds/stable.feed" --key "$(cache TW_FEED_SIGNING_KEY)" \
    --product "$(cache TW_VENDOR)_$(cache TW_RELEASE_CHANNEL)_$deployment" --version 2.0.0 \
    --setup "$OUT/www/files/Setup2.exe" --setup-url https://downloads.tarnwick.example/files/Setup2.exe >/dev/null
  reset_served
  agent_run=$(inspector update-while-running) || { echo "the update while running failed: $agent_run"; exit 1; }
  agent_bytes=$(served)
  feed_asked=$(curl -s --cacert "$OUT/ca/ca.pem" "https://127.0.0.1:$HTTPS/faults/feed")
  for _ in $(seq 50); do inspector close "Tarnwick 3D Modeller" >/dev/null && break; sleep 0.2; done
  downtime_ms=$(echo "$agent_run" | field downtime_ms)
  printf '%-34s %7s ms  (the agent fetched, checked and started the setup, which staged v2, in %s ms)\n' \
    "ours: update while running, downtime" "$downtime_ms" "$(echo "$agent_run" | field staged_ms)"
  echo "  bytes of the update: $agent_bytes (setup program $(stat -c %s "$OUT/www/files/Setup2.exe"), map and ranges)"
  python3 -c '
import json, sys
asked = json.loads(sys.argv[1])
first, unchanged = asked[0], asked[1]
print("  feed: first check %d request + %d answer bytes (feed %d); unchanged feed %d request + %d answer bytes, body %d"
      % (first["request"], first["answer"], first["bytes"], unchanged["request"], unchanged["answer"], unchanged["bytes"]))
print("  target: an unchanged feed is one request under 2048 bytes: %s" %
      ("met" if unchanged["request"] + unchanged["answer"] < 2048 and unchanged["bytes"] == 0 else "NOT MET"))' "$feed_asked"
  echo "ratio downtime/repair: $(ratio "$downtime_ms" "$repair_ms") (target at most 1.5)"
  uninstall_quietly
fi
CAPPED_URL=https://downloads.tarnwick.example/capped/TW.3D.Modeller.exe
setup_with capped-one "$CAPPED_URL" "$OUT/TW.3D.Modeller.exe" "$VERSION" ""
setup_with capped-four "$CAPPED_URL" "$OUT/TW.3D.Modeller.exe" "$VERSION" blocks
read -r one_ms one_peak _ <<<"$(timed_install "$OUT/capped-one.exe")"
uninstall_quietly
read -r four_ms four_peak _ <<<"$(timed_install "$OUT/capped-four.exe")"
uninstall_quietly
printf '%-34s %7s ms\n' "capped peer ($((CAP_RATE / 1048576)) MiB/s a connection): one" "$one_ms"
printf '%-34s %7s ms  peak working set %s MB (target at most 27; one connection: %s MB)\n' \
  "capped peer: up to 4 connections" "$four_ms" "$(mb "$four_peak")" "$(mb "$one_peak")"
echo "ratio parallel/one connection: $(ratio "$four_ms" "$one_ms") (target at most 0.45)"

#!/usr/bin/env bash
# The demo: the setup program as a user meets it, under Wine, from a local
# HTTPS server that stands in for the publisher's download site. Called by
# "./tw demo" with the build, an X screen and Wine's tools ready.
set -euo pipefail
ROOT="$TW_ROOT"
BIN="$TW_BUILD/bin"
OUT="$TW_BUILD/demo"
SHOTS="$OUT/screenshots"
WINE=/usr/lib/wine/wine
WINESERVER=/usr/lib/wine/wineserver
export WINEDEBUG=-all WINEPREFIX="$TW_BUILD/../wine-demo"

step() { printf '\n\033[1;34m==> %s\033[0m\n' "$*"; }
note() { printf '    %s\n' "$*"; }
# Output goes through a file: a program that the inspected one starts may
# inherit a pipe and hold it open long after.
inspector() {
  local rc=0
  "$WINE" "$BIN/TW.Inspector.exe" "$@" </dev/null >"$OUT/inspector.out" 2>/dev/null || rc=$?
  sed 's/\r$//' "$OUT/inspector.out"
  return $rc
}
screenshot() {
  # The frame sits in the middle of the virtual desktop; keep that part.
  import -window root -crop 760x340+260+230 +repage "$SHOTS/$1.png" 2>/dev/null && note "screenshot: $SHOTS/$1.png"
}
wait_for() { # wait_for <seconds> <command...>
  local limit=$(( $1 * 10 )); shift
  for _ in $(seq "$limit"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}
cleanup() { [ -n "${PEER_PID:-}" ] && kill "$PEER_PID" 2>/dev/null; "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true; }
trap cleanup EXIT
mkdir -p "$OUT/www/files" "$SHOTS"

step "Preparing the demo's own Wine prefix ($WINEPREFIX)"
"$WINESERVER" -p </dev/null >/dev/null 2>&1 || true # already running is fine
WINEDLLOVERRIDES="mscoree,mshtml=;${WINEDLLOVERRIDES:-}" "$WINE" wineboot </dev/null >/dev/null 2>&1 # no .NET or HTML engine needed
"$TW_ROOT/tools/wine/own_user_folders.sh" "$WINEPREFIX"

step "Publishing the application on the local download server"
# The build's stand-in release: the setup program knows its SHA-256.
cp "$TW_BUILD/release/TW.3D.Modeller.exe" "$OUT/TW.3D.Modeller.exe"
cp "$TW_BUILD/release/TW.3D.Modeller.body" "$OUT/www/files/TW.3D.Modeller.exe"
cp "$TW_BUILD/release/TW.3D.Modeller.body.blocks" "$OUT/www/files/TW.3D.Modeller.exe.blocks"
note "TW.3D.Modeller.exe: $(stat -c %s "$OUT/TW.3D.Modeller.exe") bytes, published as $(stat -c %s "$OUT/www/files/TW.3D.Modeller.exe") bytes (size + zlib)"
PEER_PID=$("$ROOT/tests/peers/start_peers.sh" "$OUT" --files-delay-ms 60)
PROXY=$(python3 -c "import json;print(json.load(open('$OUT/peer-ports.json'))['proxy'])")
inspector trust "$(winepath_w() { echo "Z:${1//\//\\}"; }; winepath_w "$OUT/ca.der")" || true
inspector proxy "$PROXY"
note "https://downloads.tarnwick.example/ is served from 127.0.0.1 through a local proxy (port $PROXY);"
note "the prefix trusts the demo's own certificate authority"

step "The signatures (osslsigncode verify, against the build's throwaway test authority)"
for program in TW.Install.UI2.exe TW.Remover.exe; do
  if [ -n "${TW_SIGNING:-}" ] && [ -f "$TW_SIGNING/ca.pem" ]; then
    out=$(osslsigncode verify -CAfile "$TW_SIGNING/ca.pem" -in "$BIN/$program" 2>&1 || true)
    signer=$(grep -m1 "Subject:" <<<"$out" | sed 's/.*Subject: *//')
    verdict=$(grep -m1 "Signature verification" <<<"$out" | sed 's/^ *//')
    note "$program: ${verdict:-not signed} (SHA-256, signed by ${signer:-nobody})"
  fi
done

step "The package inside the setup program (twpack list)"
"$TW_HOST_BUILD/twpack" list "$TW_BUILD/package/Setup.pack" | sed 's/^/    /'

if [ -n "$(inspector uninstall-string)" ]; then
  step "Removing the installation a previous demo left"
  inspector uninstall >/dev/null || true
  wait_for 30 inspector gone || true
fi

step "Running the setup program (TW.Install.UI2.exe, $(stat -c %s "$BIN/TW.Install.UI2.exe") bytes)"
started=$(date +%s.%N)
"$WINE" explorer /desktop=Tarnwick,1280x800 "$BIN/TW.Install.UI2.exe" </dev/null >/dev/null 2>&1 &
SETUP=$!
sleep 3
screenshot installing
PROGRAM=$(inspector state | sed -n 's/^Program folder: //p')
STARTED_LOG="$("$WINE" winepath -u "$PROGRAM\\StartedWith.txt" 2>/dev/null </dev/null)"
if wait_for 120 test -f "$STARTED_LOG"; then
  note "installed in $(python3 -c "import time;print(round(time.time()-$started,1))") s; the application was started at the end (StartAtEnd=true)"
  sleep 2
  screenshot application
  note "it was started with: $(head -1 "$STARTED_LOG" | tr -d '\r')"
  inspector close "Tarnwick 3D Modeller" || true
else
  note "the install did not finish in time"; exit 1
fi
sleep 1; kill "$SETUP" 2>/dev/null || true # the virtual desktop outlives its windows

step "What the install left"
inspector state | sed 's/^/    /'
note "URI schemes: none in the release package (the engine registers those a package lists)"

if [ -f "$BIN/TW.Update.exe" ]; then
  step "The application asks its release feed for updates (TW.Update.exe /Check)"
  # A feed for the installed version, signed with the build's own feed key,
  # as a publisher publishes one beside the body.
  cache() { sed -n "s/^$1:[A-Z]*=//p" "$TW_BUILD/CMakeCache.txt"; }
  deployment=$(sed -n 's/^DeploymentID=//p' "$ROOT/TW.Install.UI2/Resources/NLS/0-neutral.txt" | tr -d '\r')
  mkdir -p "$OUT/www/feeds"
  "$TW_HOST_BUILD/twpack" feed "$OUT/www/feeds/stable.feed" --key "$(cache TW_FEED_SIGNING_KEY)" \
    --product "$(cache TW_VENDOR)_$(cache TW_RELEASE_CHANNEL)_$deployment" --version "$(cache TW_VERSION)" \
    --setup "$BIN/TW.Install.UI2.exe" --setup-url https://downloads.tarnwick.example/files/TW.Install.UI2.exe >/dev/null
  rc=0
  "$WINE" "$PROGRAM\\TW.Update.exe" /Check </dev/null >"$OUT/agent.out" 2>&1 || rc=$?
  note "feed: $(cache TW_FEED_URL), signed with ECDSA P-256, checked through CNG"
  note "the agent says: $(tr -d '\r' <"$OUT/agent.out" | head -1) (exit code $rc: 0 is current, 2 an update)"
fi

step "The finished page, as a setup built with StartAtEnd=false shows it"
inspector variant "Z:${BIN//\//\\}\\TW.Install.UI2.exe" "Z:${OUT//\//\\}\\TW.Install.UI2.Finish.exe" "StartAtEnd=false"
"$WINE" explorer /desktop=Tarnwick,1280x800 "$OUT/TW.Install.UI2.Finish.exe" </dev/null >/dev/null 2>&1 &
SETUP=$!
sleep 1
wait_for 120 inspector finished "Setup - Tarnwick 3D" && sleep 1
screenshot finished
inspector close "Setup - Tarnwick 3D" || true
sleep 1; kill "$SETUP" 2>/dev/null || true

step "Removing it again through the entry's UninstallString"
uninstall=$(inspector uninstall-string)
note "UninstallString = $uninstall"
inspector uninstall | sed 's/^/    /'
note "its removal script deletes the remover and its folder once the remover has exited..."
if wait_for 60 inspector gone; then
  inspector gone | sed "s/^/  /"
  step "Done: installed, started and removed without a trace. Screenshots are in $SHOTS"
else
  inspector gone || true
  exit 1
fi

#!/usr/bin/env bash
# profile_names.sh <build folder>: the remover's round trips in fresh Wine
# prefixes whose user names hold "&" and "%" (such names exist), which end up
# in every path of the profile: the removal script must still run and
# remove the program folder and itself.
set -uo pipefail
build="$1"
wine=/usr/lib/wine/wine
wineserver=/usr/lib/wine/wineserver
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
failures=0
index=0
for name in 'Tom&Jerry' 'Ann%Lee' 'x%TEMP%y'; do
  index=$((index + 1))
  export WINEPREFIX="$build/wine-profile-$index" USER="$name"
  rm -rf "$WINEPREFIX"
  "$wineserver" -p </dev/null >/dev/null 2>&1
  "$wine" wineboot </dev/null >/dev/null 2>&1
  "$(dirname "$0")/../../tools/wine/own_user_folders.sh" "$WINEPREFIX"
  if [ ! -d "$WINEPREFIX/drive_c/users/$name" ]; then
    echo "FAIL: no profile folder for $name"; failures=$((failures + 1))
  elif ! "$wine" "$build/tests/TW.Remover/RemoverTests.exe" --gtest_brief=1 \
         --gtest_filter='RoundTripTest.*:SelfRemoval.*' </dev/null >"$WINEPREFIX.log" 2>&1; then
    echo "FAIL: the round trips fail for the user $name:"; grep -v '^$' "$WINEPREFIX.log" | head -30
    failures=$((failures + 1))
  else
    echo "the round trips pass for the user $name"
  fi
  "$wineserver" -k </dev/null >/dev/null 2>&1
  rm -rf "$WINEPREFIX" "$WINEPREFIX.log"
done
exit "$failures"

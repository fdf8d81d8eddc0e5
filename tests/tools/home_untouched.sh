#!/usr/bin/env bash
# home_untouched.sh <build folder>: an install that creates shortcuts, run
# the way ./tw runs Wine, changes nothing in the real home: Wine's menu
# builder would turn the shortcuts into menu entries there.
set -uo pipefail
build="$1"
entry="$HOME/.local/share/applications/wine/Tarnwick 3D.desktop"
marker=$(mktemp); trap 'rm -f "$marker"' EXIT
# An entry that an earlier build left would hide a new one: it goes first.
rm -f "$entry"
sleep 1
/usr/lib/wine/wine "$build/tests/TW.Remover/RemoverTests.exe" --gtest_brief=1 \
  --gtest_filter='RoundTripTest.PerUserInstallIsRemovedCompletely' </dev/null >/dev/null 2>&1
sleep 3 # the menu builder runs on its own
changed=$(find "$HOME/.local/share/applications" "$HOME/.local/share/desktop-directories" \
  "$HOME/.config/menus" "$HOME/.local/share/icons" -newer "$marker" 2>/dev/null | head -5)
[ -e "$entry" ] && changed="$entry $changed"
if [ -n "$changed" ]; then
  echo "FAIL: Wine wrote into the home: $changed"; exit 1
fi
echo "the home is untouched"

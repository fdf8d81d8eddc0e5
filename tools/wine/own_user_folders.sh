#!/usr/bin/env bash
# own_user_folders.sh <prefix>: a fresh Wine prefix links Desktop, Documents
# and the other user folders into the host's home. Every prefix of ours gets
# real folders instead, so that what a program writes or deletes there (a
# test of a removal that must not empty Documents) never reaches this machine.
set -euo pipefail
for link in "$1"/drive_c/users/*/*; do
  if [ -L "$link" ]; then
    rm "$link"
    mkdir "$link"
  fi
done

#!/usr/bin/env bash
# Makes a Wine prefix's known folders that link to the home folder itself real, empty folders.
#   known-folders.sh <prefix> <home>
# Where the desktop names no folder of its own for them, a new prefix links the user's known
# folders (Desktop, Documents, Music, Pictures, Videos, ...) to the home folder itself: a plug-in
# asking for the pictures folder would then get the whole home folder, and report every image
# below it. A link to another folder, such as the desktop's own ~/Pictures, stays; so does a
# dangling one, and so does every real folder.
set -euo pipefail
PREFIX=${1:?usage: known-folders.sh <prefix> <home>}
HOME_DIR=$(cd "${2:?usage: known-folders.sh <prefix> <home>}" 2>/dev/null && pwd -P) || exit 0
for link in "$PREFIX"/drive_c/users/*/*; do
    [ -L "$link" ] || continue
    target=$(cd "$link" 2>/dev/null && pwd -P) || continue
    if [ "$target" = "$HOME_DIR" ]; then
        rm "$link"
        mkdir "$link"
    fi
done

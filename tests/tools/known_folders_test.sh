#!/usr/bin/env bash
# The watchhost wrapper's mending of a new prefix's known folders, on a prefix laid out as Wine
# lays it out (no Wine needed): links to the home folder itself become real, empty folders;
# every other entry stays as it was.
#   known_folders_test.sh <source dir>
set -uo pipefail
SCRIPT=$1/tools/watchhost/known-folders.sh
fail() { echo "FAIL: $*"; exit 1; }
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
HOME_DIR=$WORK/home
USERS=$WORK/prefix/drive_c/users/me
mkdir -p "$HOME_DIR/Documents" "$HOME_DIR/cache" "$USERS/AppData"
touch "$HOME_DIR/holiday.jpg" "$HOME_DIR/cache/thumb.png"
ln -s "$HOME_DIR" "$USERS/Pictures"
ln -s "$HOME_DIR/" "$USERS/Music"
ln -s "$WORK/home/../home" "$USERS/Videos"
ln -s "$HOME_DIR/Documents" "$USERS/Documents"
ln -s "$WORK/gone" "$USERS/Desktop"

bash "$SCRIPT" "$WORK/prefix" "$HOME_DIR" || fail "the script failed"

for name in Pictures Music Videos; do
    [ -d "$USERS/$name" ] && [ ! -L "$USERS/$name" ] || fail "$name is not a real folder"
    [ -z "$(ls -A "$USERS/$name")" ] || fail "$name is not empty: $(ls -A "$USERS/$name")"
done
[ "$(readlink "$USERS/Documents")" = "$HOME_DIR/Documents" ] || fail "the link to a folder of the home's own changed"
[ "$(readlink "$USERS/Desktop")" = "$WORK/gone" ] || fail "the dangling link changed"
[ -d "$USERS/AppData" ] || fail "a real folder went"
[ -f "$HOME_DIR/holiday.jpg" ] && [ -f "$HOME_DIR/cache/thumb.png" ] || fail "the home folder lost files"

# Run again on the mended prefix, and with a home folder that does not exist: nothing changes.
bash "$SCRIPT" "$WORK/prefix" "$HOME_DIR" || fail "a second run failed"
bash "$SCRIPT" "$WORK/prefix" "$WORK/nohome" || fail "a missing home folder failed the script"
[ -d "$USERS/Pictures" ] && [ ! -L "$USERS/Pictures" ] || fail "a second run changed Pictures"
echo "PASS"

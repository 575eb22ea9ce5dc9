#!/usr/bin/env bash
# watchhost watch, live under Wine, as an integrator runs it: a new media file shows up as
# "+ <path>", also two levels down and in a subfolder deleted and made again, within the rescan
# period; a removed picture as "- <path>", a non-media file never; names reach the output as UTF-8;
# SIGINT (Ctrl+C) stops the host with exit code 0 and unloads the plug-in.
#   watchhost_watch_test.sh <windows build dir>
set -uo pipefail
BUILD=$(cd "$1" && pwd)
RUN=$BUILD/wine-run
WORK=$(mktemp -d "$BUILD/watchhost-test.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
# shellcheck source=watchhost_live.sh
. "$(dirname "$0")/watchhost_live.sh"

mkdir -p "$WORK/music/old" "$WORK/pictures" "$WORK/logs"
echo x > "$WORK/music/old/known.mp3"
echo x > "$WORK/pictures/keep.jpg"
echo x > "$WORK/pictures/gone.jpg"

"$RUN" "$BUILD/tools/watchhost.exe" watch --plugin "$(winpath "$BUILD/src/watchfolders.dll")" \
    --logs "$(winpath "$WORK/logs")" --folder "$(winpath "$WORK/music")" \
    --pictures "$(winpath "$WORK/pictures")" --interval 1 --rescan-every 3 >"$WORK/host.log" 2>&1 &
HOST=$!

wait_for "watching 1 folder(s)" 30 || fail "the host did not start"
wait_for "fldrscan2.out + $(winpath "$WORK/pictures/gone.jpg")" 10 || fail "init did not list the pictures"
sleep 1
echo x > "$WORK/music/new song.mp3"
echo x > "$WORK/music/notes.txt"
wait_for "fldrscan.out  + $(winpath "$WORK/music/new song.mp3")" 15 || fail "the new song was not reported"
# Below the top level: the watch covers the subtree, and where the system sends no notice for it,
# the periodic rescan (every 3 ticks) finds the change.
echo x > "$WORK/music/old/nested.mp3"
wait_for "fldrscan.out  + $(winpath "$WORK/music/old/nested.mp3")" 15 || fail "the nested song was not reported"
mkdir -p "$WORK/music/new/two"
echo x > "$WORK/music/new/two/deep.mp3"
wait_for "fldrscan.out  + $(winpath "$WORK/music/new/two/deep.mp3")" 15 || fail "a song two levels down was not reported"
# A subfolder deleted and made again, with a song in it.
rm -rf "$WORK/music/new"
mkdir -p "$WORK/music/new"
echo x > "$WORK/music/new/again.mp3"
wait_for "fldrscan.out  + $(winpath "$WORK/music/new/again.mp3")" 15 || fail "a song in a remade subfolder was not reported"
# An accented name, spelt by the ANSI code page, printed as UTF-8 (the output is a file here).
mkdir -p "$WORK/music/Café"
echo x > "$WORK/music/Café/crème.mp3"
wait_for "fldrscan.out  + $(winpath "$WORK/music/Café/crème.mp3")" 15 || fail "an accented name did not reach the output as UTF-8"
rm "$WORK/pictures/gone.jpg"
wait_for "fldrscan2.out - $(winpath "$WORK/pictures/gone.jpg")" 15 || fail "the removed picture was not reported"
grep -q 'notes.txt' "$WORK/host.log" && fail "a non-media file was reported"
grep -qF "+ $(winpath "$WORK/music/old/known.mp3")" "$WORK/host.log" && fail "a known file was reported as new"

kill -INT $HOST
for _ in $(seq 100); do kill -0 $HOST 2>/dev/null || break; sleep 0.1; done
kill -0 $HOST 2>/dev/null && { kill -9 $HOST; fail "the host did not stop on SIGINT"; }
wait $HOST
code=$?
[ $code -eq 0 ] || fail "the host exited with $code"
grep -q '^stopped' "$WORK/host.log" || fail "the host did not stop cleanly"
echo "watchhost watch: ok"

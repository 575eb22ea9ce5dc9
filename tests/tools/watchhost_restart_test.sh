#!/usr/bin/env bash
# watchhost watch, live under Wine, with no periodic rescan (--rescan-every 0), so that only its
# own start-up rescan and its watches can report anything: a song added while no host ran is
# reported at start, and a watched folder deleted and made again is watched again and rescanned.
#   watchhost_restart_test.sh <windows build dir>
set -uo pipefail
BUILD=$(cd "$1" && pwd)
RUN=$BUILD/wine-run
WORK=$(mktemp -d "$BUILD/watchhost-restart.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
# shellcheck source=watchhost_live.sh
. "$(dirname "$0")/watchhost_live.sh"
# A plain command, not a function, so that SIGINT reaches the host itself when it runs in the background.
WATCH=("$RUN" "$BUILD/tools/watchhost.exe" watch --plugin "$(winpath "$BUILD/src/watchfolders.dll")"
    --logs "$(winpath "$WORK/logs")" --folder "$(winpath "$WORK/music")" --folder "$(winpath "$WORK/box")"
    --pictures "$(winpath "$WORK/pictures")" --interval 1 --rescan-every 0)

mkdir -p "$WORK/music" "$WORK/box" "$WORK/pictures" "$WORK/logs"
echo x > "$WORK/music/known.mp3"
: > "$WORK/host.log"
"${WATCH[@]}" --ticks 1 >"$WORK/host.log" 2>&1 || fail "the first run failed"
grep -qF "init: 2 first scan(s)" "$WORK/host.log" || fail "the first run did not build the scan logs"

# While no host runs.
echo x > "$WORK/music/while away.mp3"
"${WATCH[@]}" >"$WORK/host.log" 2>&1 &
HOST=$!

wait_for "fldrscan.out  + $(winpath "$WORK/music/while away.mp3")" 30 || fail "a song added while no host ran was not reported"
wait_for "start-up rescan: 2 folder(s) rescanned" 5 || fail "no start-up rescan summary"
grep -qF "known.mp3" "$WORK/host.log" && fail "a known song was reported again"
wait_for "tick 1: " 10 || fail "no tick summary"

rm -rf "$WORK/box"
wait_for "$(winpath "$WORK/box") is gone or was replaced" 15 || fail "the deleted folder's watch was not noticed"
mkdir -p "$WORK/box"
echo x > "$WORK/box/new.mp3"
wait_for "watching $(winpath "$WORK/box") again" 15 || fail "the remade folder is not watched again"
wait_for "fldrscan.out  + $(winpath "$WORK/box/new.mp3")" 15 || fail "a song in the remade folder was not reported"
# And its watch works: a later song comes through the notification alone.
sleep 1
echo x > "$WORK/box/later.mp3"
wait_for "fldrscan.out  + $(winpath "$WORK/box/later.mp3")" 15 || fail "the remade folder's new watch reported nothing"

kill -INT $HOST
for _ in $(seq 100); do kill -0 $HOST 2>/dev/null || break; sleep 0.1; done
kill -0 $HOST 2>/dev/null && { kill -9 $HOST; fail "the host did not stop on SIGINT"; }
wait $HOST
code=$?
[ $code -eq 0 ] || fail "the host exited with $code"
grep -q '^stopped' "$WORK/host.log" || fail "the host did not stop cleanly"
echo "watchhost watch after a restart and a remade folder: ok"

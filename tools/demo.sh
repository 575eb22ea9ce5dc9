#!/usr/bin/env bash
# The plug-in at work: builds a small sample library, runs the reference host watching it live
# (one-second ticks), makes a few changes while it runs and shows what the host saw.
#   tools/demo.sh <windows build dir>
# The host runs in a Wine prefix of the demo's own (made on first use, kept in the build tree),
# neither the tests' prefix nor the integrator's. It runs through run32 (./dev run32), as one.
set -euo pipefail
[ -n "${WF_RUN32:-}" ] || exec "$(dirname "$0")/../dev" run32 "$0" "$@"
BUILD=$(cd "${1:?usage: demo.sh <windows build dir>}" && pwd)
DEMO=$BUILD/demo
PLUGIN=$BUILD/src/watchfolders.dll
export WATCHHOST_WINEPREFIX=$BUILD/demo-wineprefix
# A new prefix links its known folders into $HOME: keep them out of the real home.
export HOME=$BUILD/demo-home
mkdir -p "$HOME"
RUN=$BUILD/watchhost

winpath() { local p=${1//\//\\}; echo "Z:$p"; }
say() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
file() { mkdir -p "$(dirname "$1")"; printf 'demo' > "$1"; }

rm -rf "$DEMO"
mkdir -p "$DEMO/logs"
LIB=$DEMO/library
file "$LIB/Music/Miles/So What.mp3"
file "$LIB/Music/Miles/Blue in Green.flac"
file "$LIB/Music/Miles/liner notes.txt"
file "$LIB/Music/Live/Encore.wma"
file "$LIB/Video/Holiday 2025.mp4"
file "$LIB/Pictures/beach.jpg"
file "$LIB/Pictures/sunset.png"
file "$LIB/Pictures/readme.txt"

say "sample library in $LIB"
(cd "$LIB" && find . -type f | sort | sed 's|^\./|  |')

LOG=$DEMO/host.log
: > "$LOG"
say "watchhost watch (the plug-in's init event, then one tick a second)"
"$RUN" watch --plugin "$(winpath "$PLUGIN")" --logs "$(winpath "$DEMO/logs")" \
    --folder "$(winpath "$LIB/Music")" --folder "$(winpath "$LIB/Video")" \
    --pictures "$(winpath "$LIB/Pictures")" --interval 1 --rescan-every 5 >"$LOG" 2>&1 &
HOST_PID=$!
tail -s 0.1 -n +1 -f "$LOG" --pid "$HOST_PID" &
TAIL_PID=$!
stop() {
    kill -INT "$HOST_PID" 2>/dev/null || true
    wait "$HOST_PID" 2>/dev/null || true
    kill "$TAIL_PID" 2>/dev/null || true
    WINEPREFIX=$WATCHHOST_WINEPREFIX wineserver -k 2>/dev/null || true
}
trap stop EXIT

# The first run makes the demo's prefix, which takes a while.
for _ in $(seq 1200); do grep -q '^watching' "$LOG" && break; sleep 0.1; done
sleep 2

say "add a song and a text file in a subfolder (only the song is media)"
# The watch covers subfolders; where the system sends no notice for them, the rescan every 5 ticks
# finds the change.
file "$LIB/Music/Live/Autumn Leaves.mp3"
file "$LIB/Music/Live/setlist.txt"
sleep 5.5

say "delete a song (watched folders report additions only)"
rm "$LIB/Music/Miles/Blue in Green.flac"
sleep 3

say "rename a video"
mv "$LIB/Video/Holiday 2025.mp4" "$LIB/Video/Holiday 2025 (cut).mp4"
sleep 3

say "a picture in, a picture out (the pictures list reports both)"
file "$LIB/Pictures/2026/harbour.jpg"
rm "$LIB/Pictures/sunset.png"
sleep 3

say "stop the host (Ctrl+C)"
trap - EXIT
stop
say "scan logs the plug-in keeps in $DEMO/logs"
ls "$DEMO/logs"

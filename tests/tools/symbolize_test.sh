#!/usr/bin/env bash
# A crash report written with the DLL as it ships (stripped: its frames read "| Unknown(0)"),
# resolved by tools/symbolize with the release's symbol file and with the build tree's DLL; a
# symbol file of another image, or of the same layout built at another time, is refused.
#   symbolize_test.sh <build folder> <source folder>
set -uo pipefail
BUILD=$1
SOURCE=$2
SYMBOLIZE="$SOURCE/tools/symbolize/symbolize.sh"
RELEASE="$BUILD/release"
HOST="$BUILD/tests/crashlog/crashlog_host.exe"
fail() { echo "FAIL: $*"; exit 1; }
[ -f "$RELEASE/watchfolders.dll" ] && [ -f "$RELEASE/watchfolders.dll.debug" ] || fail "no release DLL in $RELEASE"

WORK=$(mktemp -d)
# The crashing host makes the plug-in's preferences key in the tests' prefix: it goes too.
trap 'rm -rf "$WORK"; "$BUILD/wine-run" reg delete "HKCU\\Software\\Norvane" /f >/dev/null 2>&1' EXIT
windows_path() { echo "Z:${1//\//\\}"; }

# crash <mode> <folder>: runs the crashing host with the stripped DLL; its report folder is
# <folder> (the host reads it from a variable whose name has a dot, which only cmd can set).
crash() {
    "$BUILD/wine-run" cmd /c "set crashlog_host.exe=$(windows_path "$2")&& $(windows_path "$HOST") $(windows_path "$RELEASE/watchfolders.dll") $1" \
        >/dev/null 2>&1
    [ -f "$2/ErrorLogs/Log1.log" ] || fail "$1: no report in $2/ErrorLogs"
}

# The plug-in's frames of a report, one per line.
plugin_frames() { tr -d '\r' <"$1" | grep -E '^[0-9A-F]{8} +[0-9A-F]+:[0-9A-F]+ +watchfolders\.dll '; }

# A report with the plug-in's frames below a crash, resolved.
crash plugin-call "$WORK/call"
REPORT="$WORK/call/ErrorLogs/Log1.log"
[ "$(plugin_frames "$REPORT" | grep -vc '| Unknown(0)$')" = 0 ] ||
    fail "the stripped DLL's frames were resolved already: $(plugin_frames "$REPORT" | head -3)"
[ "$(plugin_frames "$REPORT" | wc -l)" -ge 4 ] || fail "fewer than four plug-in frames in the report"

for symbols in "$RELEASE/watchfolders.dll.debug" "$BUILD/src/watchfolders.dll"; do
    OUT="$WORK/resolved.log"
    bash "$SYMBOLIZE" "$REPORT" "$symbols" >"$OUT" 2>"$WORK/err" || fail "refused its own symbols $symbols: $(cat "$WORK/err")"
    FRAMES=$(plugin_frames "$OUT")
    for expected in 'RegKey::ReadDword | src/prefs/regkey.cpp([0-9]+)' 'ReadPrefDword | src/prefs/prefs.cpp([0-9]+)' \
                    'SetFolderDirty | src/plugin/eventcallback.cpp([0-9]+)'; do
        grep -Eq " $expected\$" <<<"$FRAMES" || fail "$symbols: no frame '$expected' in:"$'\n'"$FRAMES"
    done
    if grep -q 'Unknown(0)$' <<<"$FRAMES"; then
        fail "$symbols: frames left unresolved:"$'\n'"$(grep 'Unknown(0)$' <<<"$FRAMES")"
    fi
    grep -q '/watchfolders/\|[A-Z]:\\' <<<"$FRAMES" && fail "$symbols: a file name that is not relative to the repository"
    # Nothing else changed: the same lines, byte for byte, where no plug-in frame stands.
    [ "$(wc -l <"$OUT")" = "$(wc -l <"$REPORT")" ] || fail "$symbols: the report's line count changed"
    cmp -s <(grep -Ev '^[0-9A-F]{8} +[0-9A-F]+:[0-9A-F]+ +watchfolders\.dll ' "$REPORT") \
           <(grep -Ev '^[0-9A-F]{8} +[0-9A-F]+:[0-9A-F]+ +watchfolders\.dll ' "$OUT") ||
        fail "$symbols: lines other than the plug-in's frames changed"
    cmp -s <(grep -Eo '^[0-9A-F]{8} +[0-9A-F]+:[0-9A-F]+ +watchfolders\.dll ' "$REPORT") \
           <(grep -Eo '^[0-9A-F]{8} +[0-9A-F]+:[0-9A-F]+ +watchfolders\.dll ' "$OUT") ||
        fail "$symbols: the frames' addresses changed"
done

# An overrun stack buffer stopped by the stripped DLL's stack guard: reported at the function
# whose buffer overran.
crash plugin-overrun "$WORK/overrun"
OVERRUN="$WORK/overrun/ErrorLogs/Log1.log"
FIRST=$(tr -d '\r' <"$OVERRUN" | sed -n '/^Thread Callstack: $/{n;n;p;q}')
grep -q ' watchfolders\.dll  *| Unknown(0)$' <<<"$FIRST" || fail "overrun: the first frame is not the plug-in's: $FIRST"
bash "$SYMBOLIZE" "$OVERRUN" "$RELEASE/watchfolders.dll.debug" >"$WORK/overrun.log" 2>"$WORK/err" || fail "overrun: $(cat "$WORK/err")"
FIRST=$(tr -d '\r' <"$WORK/overrun.log" | sed -n '/^Thread Callstack: $/{n;n;p;q}')
grep -Eq ' RegKey::ReadDword \| src/prefs/regkey.cpp\([0-9]+\)$' <<<"$FIRST" || fail "overrun resolved to: $FIRST"

# refused <symbol file> <why>: exit 1, a reason, and nothing printed.
refused() {
    if bash "$SYMBOLIZE" "$REPORT" "$1" >"$WORK/out" 2>"$WORK/err"; then fail "accepted $2"; fi
    [ -s "$WORK/out" ] && fail "printed a report with $2"
    grep -q 'refused' "$WORK/err" || fail "no reason given for refusing $2: $(cat "$WORK/err")"
    echo "refused $2: $(cat "$WORK/err")"
}
# Another image under the plug-in's name.
mkdir -p "$WORK/other"
cp "$BUILD/tests/crashlog/crashlog_module.dll" "$WORK/other/watchfolders.dll"
refused "$WORK/other/watchfolders.dll" "another module's symbols"
# The same code built at another time: same size and layout, another time stamp, which the
# mini-dump written with the report shows.
mkdir -p "$WORK/later"
SOURCE_DATE_EPOCH=1000000000 i686-w64-mingw32-objcopy "$RELEASE/watchfolders.dll.debug" "$WORK/later/watchfolders.dll.debug"
refused "$WORK/later/watchfolders.dll.debug" "the symbols of a build made at another time"
echo "ok: stripped frames resolved with the release's symbols and the build tree's DLL; foreign symbols refused"

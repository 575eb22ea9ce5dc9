#!/usr/bin/env bash
# The shipped DLL read from the outside, with no Wine: a 32-bit PE that exports EventCallback alone,
# imports only system DLLs (ILFree not by name: it is looked up by ordinal at run time, so a
# shell32 that exports it by ordinal only still loads the DLL), carries no test code, and has a
# version resource with the release's version; keeps address-space layout randomisation and
# data execution prevention, and carries a build id. Given its symbol file, the DLL is checked as
# it ships: stripped, naming that file, with the same build id.
#   dll_contents_test.sh <watchfolders.dll> <version> [<watchfolders.dll.debug>]
set -uo pipefail
DLL=$1
VERSION=$2
SYMBOLS=${3:-}
fail() { echo "FAIL: $*"; exit 1; }
[ -f "$DLL" ] || fail "no DLL at $DLL"
HEADERS=$(i686-w64-mingw32-objdump -p "$DLL") || fail "objdump cannot read $DLL"

grep -q '^Magic[[:space:]]*010b' <<<"$HEADERS" || fail "not a 32-bit (PE32) image"

EXPORTS=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$HEADERS" | grep -E '^[[:space:]]+\[' | sed 's/^.*\] //')
[ "$EXPORTS" = "EventCallback" ] || fail "exports are not EventCallback alone: $(echo $EXPORTS)"

IMPORTED_DLLS=$(grep 'DLL Name:' <<<"$HEADERS" | awk '{print tolower($3)}' | sort -u | tr '\n' ' ')
for dll in $IMPORTED_DLLS; do
    case $dll in
        advapi32.dll|gdi32.dll|kernel32.dll|msvcrt.dll|ole32.dll|shell32.dll|user32.dll|version.dll) ;;
        *) fail "imports $dll, which is not a system DLL every Windows has (all: $IMPORTED_DLLS)" ;;
    esac
done
if grep -Eq '^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+ILFree$' <<<"$HEADERS"; then
    fail "imports ILFree by name"
fi

# Test hooks are named "...ForTesting" or "...Testing"; none may ship.
if strings -a "$DLL" | grep -i 'testing'; then
    fail "test code in the shipped DLL (the names above)"
fi
# The version resource's strings are UTF-16.
RESOURCE_STRINGS=$(strings -a -el "$DLL")
for expected in "$VERSION" watchfolders.dll FileVersion ProductVersion LegalCopyright; do
    grep -qx -- "$expected" <<<"$RESOURCE_STRINGS" || fail "no '$expected' in the version resource"
done
# DYNAMIC_BASE (0x40) and NX_COMPAT (0x100).
CHARACTERISTICS=$((16#$(awk '/^DllCharacteristics/ {print $2}' <<<"$HEADERS")))
[ $((CHARACTERISTICS & 0x140)) = $((0x140)) ] || fail "DllCharacteristics $(printf %X $CHARACTERISTICS) lacks ASLR or DEP"
BUILD_ID=$(sed -n 's/.*format RSDS signature \([0-9a-f]*\).*/\1/p' <<<"$HEADERS")
[ -n "$BUILD_ID" ] || fail "no build id (CodeView record) in the debug directory"

if [ -n "$SYMBOLS" ]; then
    SECTIONS=$(i686-w64-mingw32-objdump -h "$DLL" | awk '$1 ~ /^[0-9]+$/ {print $2}')
    grep -q '^\.debug' <<<"$SECTIONS" && fail "debugging information left in the stripped DLL"
    i686-w64-mingw32-objdump -f "$DLL" | grep -q HAS_SYMS && fail "a symbol table left in the stripped DLL"
    LINK_FILE=$(mktemp)
    i686-w64-mingw32-objcopy --dump-section .gnu_debuglink="$LINK_FILE" "$DLL" /dev/null 2>/dev/null
    LINK=$(head -c 22 "$LINK_FILE")
    rm -f "$LINK_FILE"
    [ "$LINK" = "watchfolders.dll.debug" ] || fail "the stripped DLL does not name its symbol file ('$LINK')"
    SYMBOLS_ID=$(i686-w64-mingw32-objdump -p "$SYMBOLS" | sed -n 's/.*format RSDS signature \([0-9a-f]*\).*/\1/p')
    [ "$SYMBOLS_ID" = "$BUILD_ID" ] || fail "build id $BUILD_ID, its symbol file's ${SYMBOLS_ID:-none}"
    echo "stripped: $(stat -c %s "$DLL") bytes, build id $BUILD_ID, symbols in $(basename "$SYMBOLS")"
fi
echo "ok: exports EventCallback alone, imports $IMPORTED_DLLS, no test code, version $VERSION, ASLR and DEP"

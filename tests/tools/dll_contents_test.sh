#!/usr/bin/env bash
# The shipped DLL read from the outside, with no Wine: a 32-bit PE that exports EventCallback alone,
# imports only system DLLs (ILFree not by name: it is looked up by ordinal at run time, so a
# shell32 that exports it by ordinal only still loads the DLL), carries no test code, and has a
# version resource with the release's version.
#   dll_contents_test.sh <watchfolders.dll> <version>
set -uo pipefail
DLL=$1
VERSION=$2
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
echo "ok: exports EventCallback alone, imports $IMPORTED_DLLS, no test code, version $VERSION"

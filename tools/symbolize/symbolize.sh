#!/usr/bin/env bash
# Fills in function, source file and line for the plug-in's frames of a crash report, from their
# Section:Offset, and prints the report with nothing else changed.
#   symbolize.sh REPORT SYMBOLS
# SYMBOLS: a release's watchfolders.dll.debug, or a build tree's (unstripped) watchfolders.dll.
# The frames resolved are those of the module named like SYMBOLS (without ".debug").
#
# A symbol file that does not belong to the DLL that crashed is refused (exit 1, nothing printed).
# What ties them, report by report (a report file may hold several):
#   - the size: the module's size in the report's module list is the size of the image the
#     symbols were made from, as built or as stripped;
#   - the layout: for every frame, its address less the module's base address is the address of
#     its section in the symbols, plus its offset, and lies inside that section;
#   - the time stamp and the build id: where the mini-dump written with the report lies beside it
#     (log1.dmp, which is Log1.log's: each crash replaces it) and lists the module at the same
#     base and size, its PE time stamp must be the symbols' (a release's is the time of its
#     commit), and its CodeView build id, where the dump has one (Windows writes it; Wine does
#     not), the symbols' build id.
set -euo pipefail

REPORT=${1:-}
SYMBOLS=${2:-}
if [ -z "$REPORT" ] || [ -z "$SYMBOLS" ] || [ $# -ne 2 ]; then
    echo "usage: symbolize.sh REPORT SYMBOLS" >&2
    exit 2
fi
PREFIX=i686-w64-mingw32-
refuse() { echo "symbolize: refused: $*" >&2; exit 1; }
[ -f "$REPORT" ] || { echo "symbolize: no report at $REPORT" >&2; exit 2; }
[ -f "$SYMBOLS" ] || { echo "symbolize: no symbol file at $SYMBOLS" >&2; exit 2; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# Little-endian unsigned 32-bit word of a file at a byte offset.
word_at() { od -An -tu4 -j "$2" -N 4 "$1" | tr -d ' '; }

HEADERS=$("${PREFIX}objdump" -p "$SYMBOLS" 2>/dev/null) || refuse "$SYMBOLS is not a PE image"
grep -q '^Magic[[:space:]]*010b' <<<"$HEADERS" || refuse "$SYMBOLS is not a 32-bit PE image"
# "index name address size", the index counted from 1 as the report counts sections.
SECTIONS=$("${PREFIX}objdump" -h "$SYMBOLS" | awk '$1 ~ /^[0-9]+$/ {print $1 + 1, $2, $4, $3}')
grep -q ' \.debug_info ' <<<"$SECTIONS" || refuse "$SYMBOLS carries no debugging information"
IMAGE_BASE=$((16#$(awk '/^ImageBase/ {print $2}' <<<"$HEADERS")))
OWN_SIZE=$((16#$(awk '/^SizeOfImage/ {print $2}' <<<"$HEADERS")))
# The size of the same image stripped as a release strips it: the layout of its sections is the
# symbols' own, so stripping the symbol file gives it.
"${PREFIX}objcopy" --strip-all --add-gnu-debuglink="$SYMBOLS" "$SYMBOLS" "$WORK/stripped" 2>/dev/null ||
    refuse "$SYMBOLS cannot be read as an image"
STRIPPED_SIZE=$((16#$("${PREFIX}objdump" -p "$WORK/stripped" | awk '/^SizeOfImage/ {print $2}')))
PE_HEADER=$(word_at "$SYMBOLS" 60)
TIME_STAMP=$(word_at "$SYMBOLS" $((PE_HEADER + 8)))
BUILD_ID=$(sed -n 's/.*format RSDS signature \([0-9a-f]*\) age \([0-9]*\).*/\1 \2/p' <<<"$HEADERS" | head -1)
MODULE=$(basename "$SYMBOLS")
MODULE=${MODULE%.debug}

# The module as the mini-dump beside the report lists it: "base size time-stamp build-id age",
# the build id empty when the dump has none. Nothing when there is no dump or no such module.
dump_module() {
    local dump base=$1 size=$2
    dump="$(dirname "$REPORT")/log1.dmp"
    [ "$(basename "$REPORT" | tr '[:upper:]' '[:lower:]')" = log1.log ] && [ -f "$dump" ] || return 0
    [ "$(head -c 4 "$dump")" = MDMP ] || return 0
    local streams directory i type stream count m at module_base module_size
    streams=$(word_at "$dump" 8)
    directory=$(word_at "$dump" 12)
    for ((i = 0; i < streams && i < 64; i++)); do
        type=$(word_at "$dump" $((directory + 12 * i)))
        [ "$type" = 4 ] || continue  # ModuleListStream
        stream=$(word_at "$dump" $((directory + 12 * i + 8)))
        count=$(word_at "$dump" "$stream")
        for ((m = 0; m < count && m < 1024; m++)); do
            at=$((stream + 4 + 108 * m))
            module_base=$(word_at "$dump" "$at")
            module_size=$(word_at "$dump" $((at + 8)))
            [ "$module_base" = "$base" ] && [ "$module_size" = "$size" ] || continue
            local stamp cv_size cv_at id=""
            stamp=$(word_at "$dump" $((at + 16)))
            cv_size=$(word_at "$dump" $((at + 76)))
            cv_at=$(word_at "$dump" $((at + 80)))
            if [ "$cv_size" -ge 24 ] && [ "$(dd if="$dump" bs=1 skip="$cv_at" count=4 2>/dev/null)" = RSDS ]; then
                # The GUID as objdump prints it: its sixteen bytes in file order, then the age.
                id="$(od -An -tx1 -j $((cv_at + 4)) -N 16 "$dump" | tr -d ' \n') $(word_at "$dump" $((cv_at + 20)))"
            fi
            echo "$base $size $stamp $id"
            return 0
        done
    done
}

# The report's own lines, each report's module entry for MODULE ("report size base"), and the
# plug-in's stack lines ("line-number report frame-index section offset address").
tr -d '\r' <"$REPORT" >"$WORK/report"
awk -v module="$MODULE" '
    function lower(s) { return tolower(s) }
    /^\[Version: / { ++report; frame = -1; next }
    /^\[Modules\]/ { in_modules = 1; next }
    /^\[/ { in_modules = 0 }
    /^$/ { in_modules = 0; frame = -1 }
    in_modules && NF >= 5 && $4 ~ /^[0-9A-F]+$/ && length($4) == 8 {
        path = $0
        sub(/^([^ ]+ +){4}/, "", path)
        sub(/ \([^()]*\)$/, "", path)
        n = split(path, parts, /[\\\/]/)
        if (lower(parts[n]) == lower(module)) print "module", report, $3, $4 > "/dev/stderr"
        next
    }
    /^Address +Section:Offset +ModuleName/ { frame = 0; next }
    frame >= 0 && $1 ~ /^[0-9A-F]+$/ && length($1) == 8 && $2 ~ /^[0-9A-F]+:[0-9A-F]+$/ {
        if (lower($3) == lower(module)) {
            split($2, place, ":")
            print "frame", NR, report, frame, place[1], place[2], $1 > "/dev/stderr"
        }
        ++frame
    }
' "$WORK/report" 2>"$WORK/found"

if ! grep -q '^frame ' "$WORK/found"; then
    echo "symbolize: no frame of $MODULE in $REPORT" >&2
    cat "$REPORT"
    exit 0
fi

declare -A REPORT_SIZE REPORT_BASE
while read -r kind report size base; do
    REPORT_SIZE[$report]=$size
    REPORT_BASE[$report]=$((16#$base))
done < <(grep '^module ' "$WORK/found")

LAST_REPORT=$(awk '$1 == "module" {last = $2} END {print last}' "$WORK/found")
checked_dump=""
: >"$WORK/addresses"
: >"$WORK/lines"
while read -r kind line report frame section offset address; do
    [ -n "${REPORT_SIZE[$report]:-}" ] || refuse "report $report of $REPORT lists no $MODULE among its modules"
    size=${REPORT_SIZE[$report]}
    base=${REPORT_BASE[$report]}
    if [ "$size" != "$OWN_SIZE" ] && [ "$size" != "$STRIPPED_SIZE" ]; then
        refuse "$MODULE in the report is $size bytes; $SYMBOLS is for an image of $STRIPPED_SIZE bytes (stripped) or $OWN_SIZE"
    fi
    read -r name vma extent < <(awk -v s="$((16#$section))" '$1 == s {print $2, $3, $4}' <<<"$SECTIONS") ||
        refuse "frame $address: $SYMBOLS has no section $section"
    section_rva=$((16#$vma - IMAGE_BASE))
    offset_value=$((16#$offset))
    [ "$offset_value" -le $((16#$extent)) ] || refuse "frame $address: offset $offset is beyond $name in $SYMBOLS"
    [ $((16#$address - base)) -eq $((section_rva + offset_value)) ] ||
        refuse "frame $address: section $section ($name) lies elsewhere in $SYMBOLS"
    # The dump is the last crash's: a report file may still hold earlier ones before it.
    if [ "$checked_dump" != "$report" ] && [ "$report" = "$LAST_REPORT" ]; then
        checked_dump=$report
        read -r _ _ dump_stamp dump_id dump_age < <(dump_module "$base" "$size"; echo) || true
        if [ -n "${dump_stamp:-}" ]; then
            [ "$dump_stamp" = "$TIME_STAMP" ] ||
                refuse "the mini-dump gives $MODULE the time stamp $(printf %08X "$dump_stamp"); $SYMBOLS has $(printf %08X "$TIME_STAMP")"
            if [ -n "${dump_id:-}" ]; then
                [ "$dump_id $dump_age" = "$BUILD_ID" ] ||
                    refuse "the mini-dump gives $MODULE the build id $dump_id; $SYMBOLS has ${BUILD_ID:-none}"
            fi
        fi
    fi
    # A frame below the first is a return address: its call is the byte before.
    target=$((IMAGE_BASE + section_rva + offset_value - (frame > 0 ? 1 : 0)))
    printf '0x%X\n' "$target" >>"$WORK/addresses"
    echo "$line" >>"$WORK/lines"
done < <(grep '^frame ' "$WORK/found")

# Two lines per address: the function, then file:line. The image's own symbol table names C++
# functions as mangled without their leading underscore, and __stdcall ones with their "@bytes":
# both are put back as the compiler wrote them, then demangled without parameters, as a report
# names functions.
"${PREFIX}addr2line" -f -e "$SYMBOLS" <"$WORK/addresses" >"$WORK/raw"
awk 'NR % 2 == 1' "$WORK/raw" | sed -E 's/@[0-9]+$//; s/^_?Z(N|L|St|[0-9])/_Z\1/' | c++filt -p >"$WORK/functions"
awk 'NR % 2 == 0' "$WORK/raw" >"$WORK/places"
paste "$WORK/lines" "$WORK/functions" "$WORK/places" >"$WORK/resolved"

awk -v module="$MODULE" -F '\t' '
    FNR == NR {
        function_name[$1] = $2
        where[$1] = $3
        next
    }
    {
        end = sub(/\r$/, "") ? "\r" : ""
        if (!(FNR in function_name) || function_name[FNR] == "??") { print $0 end; next }
        file = where[FNR]
        sub(/ \(discriminator [0-9]+\)$/, "", file)
        line = file
        sub(/^.*:/, "", line)
        sub(/:[^:]*$/, "", file)
        sub(/^\/watchfolders\//, "", file)
        if (line !~ /^[0-9]+$/) line = 0
        if (file == "??") file = "Unknown"
        width = length(module) > 20 ? length(module) : 20
        printf "%s%s | %s(%s)%s\n", substr($0, 1, 40 + width), function_name[FNR], file, line, end
    }
' "$WORK/resolved" "$REPORT" >"$WORK/out"
cat "$WORK/out"
echo "symbolize: $(wc -l <"$WORK/lines") frames of $MODULE resolved with $SYMBOLS" >&2

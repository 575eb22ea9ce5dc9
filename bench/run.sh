#!/usr/bin/env bash
# Runs the scanning benchmark under Wine: one process per library size.
#   bench/run.sh <build/windows dir> [--large] [--dll]
#     --large  adds the 1,000,000-file library (about 0.5 GB on disk; generating it the first
#              time takes two minutes or so); BENCH_LARGE=1 does the same, e.g. for ./dev bench
#     --dll    drives the plug-in through EventCallback instead of the scan functions
# Environment: BENCH_SIZES overrides the sizes; BENCH_DATA the folder the libraries are kept in
# (default <build>/bench-data; a library is generated once and reused).
set -euo pipefail
BUILD=$(cd "${1:?usage: bench/run.sh <build/windows dir> [--large] [--dll]}" && pwd)
shift
SIZES=${BENCH_SIZES:-"10000 100000"}
[ "${BENCH_LARGE:-0}" = 1 ] && SIZES="$SIZES 1000000"
DRIVER=()
for arg in "$@"; do
    case "$arg" in
        --large) SIZES="$SIZES 1000000" ;;
        --dll) DRIVER=(--dll 'watchfolders.dll') ;;
        *) echo "bench: unknown option $arg" >&2; exit 2 ;;
    esac
done
DATA=${BENCH_DATA:-$BUILD/bench-data}
mkdir -p "$DATA"
EXE="$BUILD/bench/scanbench.exe"
[ -f "$EXE" ] || { echo "bench: $EXE is not built" >&2; exit 1; }
if [ ${#DRIVER[@]} -gt 0 ]; then
    # The plug-in is loaded from beside the benchmark, as a host loads it from its own folder.
    cp "$BUILD/src/watchfolders.dll" "$BUILD/bench/watchfolders.dll"
fi

# Wine sees the Linux file system as Z:.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

"$BUILD/wine-run" --start
trap '"$BUILD/wine-run" --stop' EXIT

SUMMARY=()
for n in $SIZES; do
    OUT=$(cd "$BUILD/bench" && "$BUILD/wine-run" "$EXE" "$(windows_path "$DATA/n$n")" "$n" "${DRIVER[@]}" | tr -d '\r')
    printf '%s\n' "$OUT" | grep -v '^bench '
    SUMMARY+=("$(printf '%s\n' "$OUT" | grep '^bench ')")
done
printf '%s\n' "${SUMMARY[@]}"

#!/usr/bin/env bash
# Runs the scanning benchmark under Wine: one process per library size.
#   bench/run.sh <build/windows dir> [--large] [--dll]
#     --large  adds the 1,000,000-file library (about 0.5 GB on disk; generating it the first
#              time takes two minutes or so); BENCH_LARGE=1 does the same, e.g. for ./dev bench
#     --dll    drives the plug-in through EventCallback instead of the scan functions
# Environment: BENCH_SIZES overrides the sizes; BENCH_DATA the folder the libraries are kept in
# (default <build>/bench-data; a library is generated once and reused).
# It runs through run32 (./dev run32); each summary line ends in how the 32-bit programs ran,
# run32=native or run32=emulated.
set -euo pipefail
[ -n "${WF_RUN32:-}" ] || exec "$(dirname "$0")/../dev" run32 "$0" "$@"
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

if [ "$WF_RUN32" = emulated ]; then
    echo "bench: EMULATED: this host runs the 32-bit programs under qemu-i386 user-mode emulation, so the"
    echo "bench: seconds are emulated seconds; each ratio compares emulated with emulated in one process."
fi

"$BUILD/wine-run" --start
trap '"$BUILD/wine-run" --stop' EXIT

SUMMARY=()
for n in $SIZES; do
    OUT=$(cd "$BUILD/bench" && "$BUILD/wine-run" "$EXE" "$(windows_path "$DATA/n$n")" "$n" "${DRIVER[@]}" | tr -d '\r')
    printf '%s\n' "$OUT" | grep -v '^bench '
    SUMMARY+=("$(printf '%s\n' "$OUT" | grep '^bench ') run32=$WF_RUN32")
done
printf '%s\n' "${SUMMARY[@]}"

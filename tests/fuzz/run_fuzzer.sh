#!/usr/bin/env bash
# Runs one libFuzzer harness for a while on a working copy of its seed corpus
# and says how it went: executions, corpus size, and any finding (the input
# that failed is kept under the working directory's findings/).
#   run_fuzzer.sh [--fresh] <harness> <seconds> <seed corpus> <working dir>
# --fresh starts from the seeds alone; otherwise the working corpus grows
# from run to run. The seed corpus is only read. Exit status 1 on a finding.
set -uo pipefail

fresh=0
if [ "${1:-}" = --fresh ]; then
    fresh=1
    shift
fi
if [ $# -ne 4 ]; then
    sed -n '5p' "$0" | sed 's/^# *//' >&2
    exit 2
fi
harness=$1 seconds=$2 seeds=$3 work=$4
name=$(basename "$harness")
name=${name%_fuzzer}

[ "$fresh" = 1 ] && rm -rf "$work"
mkdir -p "$work/corpus" "$work/findings"
if [ -d "$seeds" ]; then
    cp -rf "$seeds"/. "$work/corpus/"
fi
stamp="$work/.started"
: >"$stamp"
log="$work/fuzz.log"

started=$SECONDS
"$harness" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$work/findings/" "$work/corpus" </dev/null >"$log" 2>&1
status=$?

executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
inputs=$(find "$work/corpus" -type f | wc -l)
echo "$name: ${executions:-0} executions in $((SECONDS - started)) s, working corpus $inputs inputs ($work/corpus)"

findings=$(find "$work/findings" -type f -newer "$stamp" | sort)
if [ "$status" -ne 0 ] || [ -n "$findings" ]; then
    echo "$name: FINDING (exit status $status); the end of $log:"
    grep -v '^#[0-9]' "$log" | tail -n 60
    for f in $findings; do
        echo "$name: failing input $f (replay: $harness $f)"
    done
    exit 1
fi
echo "$name: no findings"

#!/usr/bin/env bash
# Runs one libFuzzer harness for a while on a working copy of its seed corpus
# and says how it went: executions, corpus size, and any finding (the input
# that failed is kept under the working directory's findings/).
#   run_fuzzer.sh [--fresh] <harness> <seconds> <seed corpus> <working dir>
# --fresh starts from the seeds alone; otherwise the working corpus grows
# from run to run. The seed corpus is only read. Exit status 1 on a finding.
#   run_fuzzer.sh --replay <harness> <seed corpus> <working dir>
# --replay runs every seed once, in name order, and nothing else: the same
# inputs at every run. Exit status 1 when one fails (a check, a crash, a leak,
# undefined behaviour) or when there are no seeds.
set -uo pipefail

replay() {
    local harness=$1 seeds=$2 work=$3 name
    name=$(basename "$harness")
    name=${name%_fuzzer}
    local inputs=()
    if [ -d "$seeds" ]; then
        mapfile -t inputs < <(find "$seeds" -type f | LC_ALL=C sort)
    fi
    if [ ${#inputs[@]} -eq 0 ]; then
        echo "$name: no seeds in $seeds"
        exit 1
    fi
    rm -rf "$work"
    mkdir -p "$work/findings"
    local log="$work/replay.log"
    # Given files rather than a directory, libFuzzer runs each once and never mutates nor writes
    # into the seed corpus. A failing seed stops the run; the sanitizers' exit-time leak check
    # still runs after the last one.
    "$harness" -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$work/findings/" "${inputs[@]}" \
        </dev/null >"$log" 2>&1
    local status=$?
    local ran
    ran=$(grep -c '^Executed ' "$log")
    if [ "$status" -ne 0 ] || [ "$ran" -ne ${#inputs[@]} ]; then
        echo "$name: FAILED (exit status $status) after $ran of ${#inputs[@]} seeds; the end of $log:"
        tail -n 60 "$log"
        if [ "$ran" -lt ${#inputs[@]} ]; then
            local failing
            failing=$(sed -n 's/^Running: //p' "$log" | tail -n 1)
            echo "$name: failing seed $failing (replay: $harness $failing)"
        else
            echo "$name: every seed ran; the failure came at exit (a leak check, for one)"
        fi
        exit 1
    fi
    echo "$name: $ran seeds replayed, no findings"
    exit 0
}

if [ "${1:-}" = --replay ]; then
    shift
    if [ $# -ne 3 ]; then
        sed -n '8p' "$0" | sed 's/^# *//' >&2
        exit 2
    fi
    replay "$@"
fi

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

#!/usr/bin/env bash
# The release archive of the commit checked out, built twice in folders of different names and
# depths: the two archives are the same byte for byte (no build folder, time or order in them).
#   reproducible_test.sh <source folder>
set -uo pipefail
SOURCE=$1
fail() { echo "FAIL: $*"; exit 1; }
if ! git -C "$SOURCE" rev-parse --verify -q HEAD >/dev/null; then
    echo "skipped: $SOURCE is not a git checkout with a commit"
    exit 0
fi
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
bash "$SOURCE/tools/dist/dist.sh" "$SOURCE" "$WORK/a" "$WORK/out-a" >"$WORK/a.log" 2>&1 ||
    fail "the first build failed: $(tail -20 "$WORK/a.log")"
bash "$SOURCE/tools/dist/dist.sh" "$SOURCE" "$WORK/another/deeper/b" "$WORK/out-b" >"$WORK/b.log" 2>&1 ||
    fail "the second build failed: $(tail -20 "$WORK/b.log")"
A=$(ls "$WORK"/out-a/*.zip)
B=$(ls "$WORK"/out-b/*.zip)
if ! cmp -s "$A" "$B"; then
    # Say which files differ.
    for file in $(cd "$WORK/a" && ls -d watchfolders-*/* 2>/dev/null); do
        cmp -s "$WORK/a/$file" "$WORK/another/deeper/b/$file" || echo "differs: $file"
    done
    fail "two builds of the same commit differ"
fi
echo "ok: $(basename "$A") twice the same, sha256 $(sha256sum "$A" | cut -d' ' -f1)"

#!/usr/bin/env bash
# trap_codes_tests once more under user-mode emulation, whatever this host runs natively, so that
# the emulation and its trap-number fix are tested on every host. A host that runs 32-bit code
# natively and cannot emulate it (a kernel before 6.7 has no binfmt_misc per user namespace) skips
# this: it needs no emulation. Where the emulation is how the tests run at all, it cannot be missing.
#   trap_codes_emulated.sh <source dir> <build dir> <trap_codes_tests.exe>
set -uo pipefail
SOURCE=$1 BUILD=$2 PROGRAM=$3
if ! why=$(env -u WF_RUN32 WF_RUN32_MODE=emulated "$SOURCE/tools/run32/run32" --setup 2>&1); then
    echo "SKIP: this host runs 32-bit programs natively and cannot emulate them: $why"
    exit 77
fi
exec env -u WF_RUN32 WF_RUN32_MODE=emulated "$SOURCE/dev" run32 "$BUILD/wine-run" "$PROGRAM"

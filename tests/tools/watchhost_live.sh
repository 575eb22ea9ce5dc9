# What the live watchhost scripts share; sourced by them, after they set WORK (their scratch
# folder, holding host.log) and, before calling wait_for, HOST (the host's process id).

# A Linux path as Wine's Z: drive names it.
winpath() { local p=${1//\//\\}; echo "Z:$p"; }

fail() { echo "FAIL: $*"; echo "--- host output"; cat "$WORK/host.log"; exit 1; }

# wait_for <text> <seconds>: true once the host's output holds the text; false when the time is
# up or the host has ended.
wait_for() {
    local deadline=$((SECONDS + $2))
    while ! grep -qF -- "$1" "$WORK/host.log"; do
        [ $SECONDS -lt $deadline ] || return 1
        kill -0 "$HOST" 2>/dev/null || return 1
        sleep 0.2
    done
}

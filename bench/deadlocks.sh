#!/usr/bin/env bash
# Deadlock alerts against the game's own state: runs a generated world (large by default) for a
# number of minutes (ten by default) with the program's window (offscreen), collects every alert
# line of the zorvy.attention category and the game's log of who waits for whom (--wait-log), then
# checks every reported wait cycle against the game (bench/deadlocks.py): a cycle is confirmed when
# the game's trains waited for one another in that order at some moment of the second before the
# alert. It also names the game's own cycles that the program never reported, and the time from
# the game's cycle to the alert.
# The game and the program run in their own PID namespace with a private /dev/shm, with settings
# and data folders of their own (no black box).
#
# Usage: bench/deadlocks.sh [small|medium|large|SCENARIO.json] [minutes] [seed]
# (run as root; needs `unshare`). A running scenario of sim/scenarios measures the time from a
# deadlock that surely forms to its alert.
# The logs stay in the folder named on the last line (ZORVY_KEEP_LOGS=DIR to choose it).
set -euo pipefail
size=${1:-large}
[ -f "$size" ] && size=$(realpath "$size")
minutes=${2:-10}
seed=${3:-1}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=${ZORVY_BUILD_DIR:-$root/build}/bin
work=${ZORVY_KEEP_LOGS:-$(mktemp -d)}
mkdir -p "$work"

unshare --pid --fork --mount-proc bash -s -- "$bin" "$size" "$minutes" "$seed" "$work" <<'EOF'
set -euo pipefail
bin=$1 size=$2 minutes=$3 seed=$4 work=$5
mount -t tmpfs tmpfs /dev/shm
mkdir -p "$work/config/ZorvyTools" "$work/data" "$work/runtime"
chmod 700 "$work/runtime"
printf '[recording]\nblackBoxMinutes=0\n' >"$work/config/ZorvyTools/Zorvy TCO.conf"
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/runtime
export QT_QPA_PLATFORM=offscreen
: >"$work/waits.log"
world=(--size "$size" --seed "$seed")
[ -f "$size" ] && world=(--scenario "$size")
"$bin/ZorvyRails.exe" "${world[@]}" --textures all --wait-log "$work/waits.log" \
    >"$work/game.log" 2>&1 &
game=$!
for _ in $(seq 600); do grep -q ready "$work/game.log" && break; sleep 0.1; done
QT_MESSAGE_PATTERN='%{time boot} %{category} %{message}' \
    QT_LOGGING_RULES='*.debug=false;zorvy.*.info=false;zorvy.attention.info=true' \
    "$bin/ZorvyTco" >"$work/program.log" 2>&1 &
program=$!
sleep "$(echo "$minutes * 60" | bc)"
kill -0 "$program" 2>/dev/null || echo "the program ended early" >&2
kill "$program" 2>/dev/null || true
wait "$program" 2>/dev/null || true
kill "$game" 2>/dev/null || true
wait "$game" 2>/dev/null || true
EOF
python3 "$root/bench/deadlocks.py" "$work/waits.log" "$work/program.log"
echo "logs: $work"

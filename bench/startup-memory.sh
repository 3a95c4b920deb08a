#!/usr/bin/env bash
# Two figures a user meets on a world of the simulated game that already runs:
# - the time from the program's start to its first live snapshot (a verification run, whose first
#   LIVE line on standard output marks it), best and median of five starts;
# - the program's resident memory while it shows the map, sampled every 30 s for a number of
#   minutes (ten by default).
# The game and the program run in their own PID namespace with a private /dev/shm.
# The real window under Xvfb, zoomed in and out, with a fresh settings folder: bench/zoom-memory.sh.
#
# Usage: bench/startup-memory.sh [small|medium|large] [minutes]     (run as root; needs `unshare`)
set -euo pipefail
size=${1:-large}
minutes=${2:-10}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=${ZORVY_BUILD_DIR:-$root/build}/bin

exec unshare --pid --fork --mount-proc bash -s -- "$bin" "$size" "$minutes" <<'EOF'
set -euo pipefail
bin=$1 size=$2 minutes=$3
mount -t tmpfs tmpfs /dev/shm
work=$(mktemp -d)
export XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES='zorvy.*=false'
"$bin/ZorvyRails.exe" --size "$size" --textures all >"$work/game.log" 2>&1 &
for _ in $(seq 300); do grep -q . "$work/game.log" && break; sleep 0.1; done

times=()
for run in 1 2 3 4 5; do
    : >"$work/out.log"
    start=$(date +%s%N)
    "$bin/ZorvyTco" --verify-live >>"$work/out.log" 2>/dev/null &
    pid=$!
    until grep -q '^LIVE' "$work/out.log" 2>/dev/null; do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.005
    done
    times+=($((($(date +%s%N) - start) / 1000000)))
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "$size first live snapshot after start: best ${sorted[0]} ms, median ${sorted[2]} ms (${times[*]})"

"$bin/ZorvyTco" >/dev/null 2>&1 &
pid=$!
samples=()
for ((i = 0; i <= minutes * 2; i++)); do
    [ "$i" -gt 0 ] && sleep 30
    kill -0 "$pid" 2>/dev/null || { echo "the program ended early" >&2; exit 2; }
    samples+=($(awk '/^VmRSS/ { print int($2 / 1024) }' "/proc/$pid/status"))
done
kill "$pid" 2>/dev/null || true
echo "$size resident memory every 30 s for $minutes min (MB): ${samples[*]}"
EOF

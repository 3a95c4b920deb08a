#!/usr/bin/env bash
# The GUI thread's CPU time per published snapshot, seen from outside the program: a verification
# run of the real ZorvyTco on a world of the simulated game, its main thread's utime + stime read
# from /proc/PID/task/PID/stat at its first and at its last LIVE line, divided by the LIVE lines
# printed in between. The game and the program run in their own PID namespace with a private
# /dev/shm, so that other games on the machine are neither found nor disturbed.
#
# Usage: bench/gui-cpu.sh [small|medium|large] [map|list]     (run as root; needs `unshare`)
set -euo pipefail
size=${1:-large}
mode=${2:-map}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=${ZORVY_BUILD_DIR:-$root/build}/bin
case "$mode" in
map) view=(--verify-textures --verify-map) ;;
list) view=(--verify-textures) ;;
*) echo "gui-cpu: mode is map or list" >&2; exit 2 ;;
esac

exec unshare --pid --fork --mount-proc bash -s -- "$bin" "$size" "$mode" "${view[@]}" <<'EOF'
set -euo pipefail
bin=$1 size=$2 mode=$3
shift 3
mount -t tmpfs tmpfs /dev/shm
work=$(mktemp -d)
export XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES='zorvy.*=false'
"$bin/ZorvyRails.exe" --size "$size" --textures all >"$work/game.log" 2>&1 &
for _ in $(seq 100); do grep -q . "$work/game.log" && break; sleep 0.1; done
: >"$work/out.log"
"$bin/ZorvyTco" "$@" >>"$work/out.log" 2>"$work/err.log" &
pid=$!
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/task/$pid/stat"; }
lives() { grep -c '^LIVE' "$work/out.log" 2>/dev/null || true; }
first_ticks= first_lives= last_ticks= last_lives=
while kill -0 "$pid" 2>/dev/null; do
    n=$(lives)
    if [ "${n:-0}" -ge 1 ]; then
        t=$(ticks 2>/dev/null) || break
        if [ -z "$first_ticks" ]; then first_ticks=$t first_lives=$n; fi
        if [ "$n" != "${last_lives:-}" ]; then last_ticks=$t last_lives=$n; fi
    fi
    sleep 0.02
done
wait "$pid" || true
hz=$(getconf CLK_TCK)
frames=$((last_lives - first_lives))
if [ "$frames" -le 0 ]; then
    echo "gui-cpu: too few LIVE lines ($(lives))" >&2
    exit 2
fi
awk -v t=$((last_ticks - first_ticks)) -v f="$frames" -v hz="$hz" -v s="$size" -v m="$mode" \
    -v all="$(lives)" 'BEGIN {
        printf "%-6s %-4s GUI thread %.1f ms per published snapshot (%d snapshots measured, %d LIVE lines in 8 s)\n",
               s, m, t * 1000 / hz / f, f, all }'
EOF

#!/usr/bin/env bash
# The program's resident memory as a user meets it: the real window under Xvfb (default settings,
# fresh settings folder, default window) on a world of the simulated game with every signal
# textured, before and after rounds of wheel notches in and out over the middle of the map.
# The game, Xvfb and the program run in their own PID namespace with a private /dev/shm.
#
# Usage: bench/zoom-memory.sh [small|medium|large] [rounds] [notches]   (run as root; needs `unshare`)
# Environment, to compare variants of one build:
#   ZOOM_SETTINGS   lines "section/key=value" added to the fresh settings (e.g.
#                   "recording/blackBoxMinutes=0" for no black box, "window/panelMode=true")
#   ZOOM_ENV        extra "NAME=value" words for the program (e.g. QT_QUICK_BACKEND=software)
#   ZOOM_WRAP       a command put before the program (e.g. "heaptrack -o /tmp/zoom")
#   ZOOM_SHOT       a folder for screenshots at start and at the end
set -euo pipefail
size=${1:-large}
rounds=${2:-2}
notches=${3:-16}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=${ZORVY_BUILD_DIR:-$root/build}/bin

exec unshare --pid --fork --mount-proc bash ${ZOOM_TRACE:+-x} -s -- "$bin" "$size" "$rounds" "$notches" <<'EOF'
set -euo pipefail
bin=$1 size=$2 rounds=$3 notches=$4
mount -t tmpfs tmpfs /dev/shm
work=$(mktemp -d)
mkdir -p "$work/config/ZorvyTools" "$work/data"
conf="$work/config/ZorvyTools/Zorvy TCO.conf"
: >"$conf"
while IFS='=' read -r key value; do
    [ -n "$key" ] || continue
    printf '[%s]\n%s=%s\n' "${key%%/*}" "${key#*/}" "$value" >>"$conf"
done <<<"${ZOOM_SETTINGS:-}"
export XDG_RUNTIME_DIR=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
export QT_LOGGING_RULES='zorvy.*=false'

"$bin/ZorvyRails.exe" --size "$size" --textures all >"$work/game.log" 2>&1 &
for _ in $(seq 300); do grep -q . "$work/game.log" && break; sleep 0.1; done

# A display of its own, away from the low numbers that other servers on the machine may hold.
for ((n = 300 + RANDOM % 200; ; n++)); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1600x1000x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    export DISPLAY=:$n
    for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break 2; sleep 0.1; done
    kill $! 2>/dev/null || true
done

# shellcheck disable=SC2086
env ${ZOOM_ENV:-} ${ZOOM_WRAP:-} "$bin/ZorvyTco" >"$work/out.log" 2>&1 &
pid=$!
if [ -n "${ZOOM_WRAP:-}" ]; then
    for _ in $(seq 100); do pid=$(pgrep -n -x ZorvyTco) && break; sleep 0.1; done
fi

mb() {
    [ -e "/proc/$pid/status" ] || { echo "zoom-memory: the program ended, see $work/out.log" >&2; exit 2; }
    awk '/^(VmRSS|RssAnon|RssFile|RssShmem)/ { printf "%s %d  ", $1, $2 / 1024 }' "/proc/$pid/status"
}
window=
for _ in $(seq 300); do
    window=$(xdotool search --pid "$pid" --onlyvisible 2>/dev/null | head -1) && [ -n "$window" ] && break
    sleep 0.1
done
# The first snapshots and the first pictures: wait until the resident size settles.
sleep 25
echo "start:        $(mb)"
[ -n "${ZOOM_SHOT:-}" ] && import -window root "$ZOOM_SHOT/start.png"
# Offscreen there is no window to zoom in: only the figure at start.
[ -n "$window" ] || rounds=0
[ -n "$window" ] && eval "$(xdotool getwindowgeometry --shell "$window")"
# The middle of the map in the default window.
[ -n "$window" ] && mx=$((X + WIDTH * ${ZOOM_MAP_X:-60} / 100)) my=$((Y + HEIGHT * ${ZOOM_MAP_Y:-65} / 100))
for ((r = 1; r <= rounds; r++)); do
    for ((i = 0; i < notches; i++)); do xdotool mousemove "$mx" "$my" click 4; sleep 0.3; done
    sleep 3
    echo "round $r in:   $(mb)"
    [ -n "${ZOOM_SHOT:-}" ] && [ "$r" = 1 ] && import -window root "$ZOOM_SHOT/in.png"
    for ((i = 0; i < notches; i++)); do xdotool mousemove "$mx" "$my" click 5; sleep 0.3; done
    sleep 3
    echo "round $r out:  $(mb)"
done
sleep 10
echo "end (+10 s):  $(mb)"
[ -n "${ZOOM_SHOT:-}" ] && import -window root "$ZOOM_SHOT/end.png"
grep -m1 VmHWM "/proc/$pid/status"
[ -n "${ZOOM_SMAPS:-}" ] && cp "/proc/$pid/smaps" "$ZOOM_SMAPS"
kill -TERM "$pid"
wait "$pid" || true
EOF

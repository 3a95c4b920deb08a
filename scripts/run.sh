#!/usr/bin/env bash
# Installs what is missing, builds the program, the simulated game and the library (nothing else),
# starts a simulated medium world unless a game already runs, and opens the window on it. Without a
# display it makes a verification run of the map instead and saves a screenshot of the window.
# The output is for a person: build and program details go to log files under the build folder;
# ZORVY_LOG=1 shows the program's log lines (LIVE, WAIT, SDK snapshot) as well.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZORVY_BUILD_DIR:-$root/build}
bin="$build/bin"

"$root/scripts/install-deps.sh"

mkdir -p "$build"
buildLog="$build/run-build.log"
echo "run: building the program, the simulated game and the library (log: $buildLog)"
generator=()
if command -v ninja >/dev/null 2>&1 && [ ! -f "$build/Makefile" ]; then
    generator=(-G Ninja)
fi
if ! { cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
       cmake --build "$build" --parallel "$(nproc)" --target ZorvyTco ZorvyRails ZorvyRailsSDK; } \
       >"$buildLog" 2>&1; then
    tail -n 30 "$buildLog"
    echo "run: FAILED — the build did not succeed (see $buildLog)"
    exit 1
fi

if [ "${ZORVY_LOG:-0}" != 1 ]; then
    export QT_LOGGING_RULES="${QT_LOGGING_RULES:-zorvy.*.info=false}"
fi

game=
if running=$(pgrep -x ZorvyRails.exe | tr '\n' ' ') && [ -n "$running" ]; then
    echo "run: a game already runs (PID ${running% }); the program connects to it"
else
    "$bin/ZorvyRails.exe" --size medium --textures all >"$build/game.log" 2>&1 &
    game=$!
    trap 'kill "$game" 2>/dev/null || true' EXIT
    echo "run: started the simulated game, a medium world with all signal textures (PID $game)"
    sleep 1
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "run: opening the window (close it to stop)"
    status=0
    "$bin/ZorvyTco" || status=$?
    echo "run: window closed (exit code $status)"
    exit "$status"
fi

shot="$build/screenshot.png"
runLog="$build/run-verify.log"
export XDG_RUNTIME_DIR="$build/xdg-runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
rm -f "$shot"
echo "run: no display; making a verification run of the map (about 10 s)"
status=0
if [ "${ZORVY_LOG:-0}" = 1 ]; then
    QT_QPA_PLATFORM=offscreen "$bin/ZorvyTco" --verify-textures --verify-map --screenshot "$shot" 2>&1 |
        tee "$runLog" || status=${PIPESTATUS[0]}
else
    QT_QPA_PLATFORM=offscreen "$bin/ZorvyTco" --verify-textures --verify-map --screenshot "$shot" \
        >"$runLog" 2>&1 || status=$?
fi
if [ "$status" -eq 0 ] && [ -f "$shot" ]; then
    echo "run: PASSED — the map's screenshot is $shot (details: $runLog); with a display, the same command opens the live window"
else
    tail -n 5 "$runLog"
    echo "run: FAILED (exit code $status) — details in $runLog${shot:+; screenshot, if any: $shot}; with a display, the same command opens the live window"
    exit "$status"
fi

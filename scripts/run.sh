#!/usr/bin/env bash
# Installs what is missing, builds, starts a simulated medium world unless a game already runs, and
# opens the panel on it. Without a display it makes a verification run instead and saves a
# screenshot of the window.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build=${ZORVY_BUILD_DIR:-$root/build}
bin="$build/bin"

game=
if [ -x "$bin/ZorvyRails.exe" ] && ! pgrep -x ZorvyRails.exe >/dev/null; then
    "$bin/ZorvyRails.exe" --size medium --textures all >"$build/game.log" 2>&1 &
    game=$!
    trap 'kill "$game" 2>/dev/null || true' EXIT
    echo "run: started the simulated game ZorvyRails.exe --size medium --textures all (PID $game)"
    sleep 1
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    "$bin/ZorvyTco"
else
    shot="$build/screenshot.png"
    export XDG_RUNTIME_DIR="$build/xdg-runtime"
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
    echo "run: no display; making a verification run of the segment list"
    status=0
    QT_QPA_PLATFORM=offscreen "$bin/ZorvyTco" --verify-textures --screenshot "$shot" || status=$?
    if [ -f "$shot" ]; then
        echo "run: screenshot saved to $shot"
    fi
    exit "$status"
fi

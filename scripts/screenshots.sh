#!/usr/bin/env bash
# Takes PNGs of the main window and both dialogs on a private Xvfb display at the desktop's
# default font, so they can be checked for clipped or overlapping text.
# Usage: scripts/screenshots.sh [BUILD_DIR] [OUT_DIR]   (defaults: build, build/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-$build/screenshots}
mkdir -p "$out"
cmake --build "$build" --target dialog_shots vornask >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
export QT_QPA_PLATFORM=xcb
# A fresh home: nothing stored, no desktop settings of the caller.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$XDG_CONFIG_HOME"

# Runs a program, waits for its window by title and saves that window as a PNG.
shoot() {
    local name=$1 title=$2
    shift 2
    "$@" >"$work/$name.out" 2>"$work/$name.err" &
    local pid=$!
    pids+=("$pid")
    local window
    window=$(timeout 20 xdotool search --sync --onlyvisible --name "^$title\$" | head -n1)
    sleep 0.5  # let the first paint finish
    import -window "$window" "$out/$name.png"
    echo "$out/$name.png: $(xwininfo -id "$window" | awk '/Width|Height/ {printf "%s ", $2}')"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
}

shoot killlist "Kill List" "$build/tests/shell/dialog_shots" killlist
shoot mailopt-login "Mail options" "$build/tests/shell/dialog_shots" mailopt
shoot mailopt-receiving "Mail options" "$build/tests/shell/dialog_shots" mailopt-receiving
shoot mailopt-connection "Mail options" "$build/tests/shell/dialog_shots" mailopt-connection
shoot main-window "Vornask" "$build/bin/vornask"

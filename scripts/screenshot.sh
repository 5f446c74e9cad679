#!/usr/bin/env bash
# Takes the README's picture: the main window on a virtual X server, a C major chord held down.
#   scripts/screenshot.sh [output.png]      (docs/screenshot.png when not given)
# BUILD_DIR chooses the build folder (build when not set).
set -euo pipefail
cd "$(dirname "$0")/.."
output=$(realpath -m "${1:-docs/screenshot.png}")
scripts/setup.sh --test
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -Wno-dev >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target tonarium tonarium_grab_window

source scripts/lib/xvfb.sh
program=
cleanup() {
    [[ -n "$program" ]] && kill "$program" 2>/dev/null || true
    stop_xvfb
}
trap cleanup EXIT
start_xvfb "$build/screenshot-xvfb.log"

"$build/tonarium" --no-sound &
program=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Музыкальный тонариум v 1.01$' | head -n 1)
chord=(5 y u)  # notes 13, 17 and 20: C, E and G
xdotool keydown "${chord[@]}"
sleep 0.5  # a few polls of the keyboard
mkdir -p "$(dirname "$output")"
"$build/packaging/tonarium_grab_window" "$window" "$output"
xdotool keyup "${chord[@]}"
echo "Saved $output"

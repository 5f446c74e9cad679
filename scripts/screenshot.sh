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

number=200
while [[ -e /tmp/.X$number-lock ]]; do number=$((number + 1)); done
export DISPLAY=:$number
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp &
xvfb=$!
program=
cleanup() {
    [[ -n "$program" ]] && kill "$program" 2>/dev/null
    kill "$xvfb" 2>/dev/null
}
trap cleanup EXIT
for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$number ]] && break; sleep 0.1; done

# No sound is needed for a picture.
ALSOFT_DRIVERS=null "$build/tonarium" &
program=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Музыкальный тонариум v 1.01$' | head -n 1)
chord=(5 y u)  # notes 13, 17 and 20: C, E and G
xdotool keydown "${chord[@]}"
sleep 0.5  # a few polls of the keyboard
mkdir -p "$(dirname "$output")"
"$build/packaging/tonarium_grab_window" "$window" "$output"
xdotool keyup "${chord[@]}"
echo "Saved $output"

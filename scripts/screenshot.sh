#!/usr/bin/env bash
# Takes the README's pictures: the main window on a virtual X server, a C major chord held down,
# and the window playing a song, a C major chord of it sounding.
#   scripts/screenshot.sh [output.png [song.png]]   (docs/screenshot.png, docs/song.png)
# BUILD_DIR chooses the build folder (build when not set).
set -euo pipefail
cd "$(dirname "$0")/.."
output=$(realpath -m "${1:-docs/screenshot.png}")
song_output=$(realpath -m "${2:-docs/song.png}")
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

# start_program ARGUMENTS...: starts the program and sets window to its main window.
start_program() {
    "$build/tonarium" --no-sound "$@" &
    program=$!
    window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Музыкальный тонариум v 1.01$' |
        head -n 1)
}

start_program
chord=(5 y u)  # notes 13, 17 and 20: C, E and G
xdotool keydown "${chord[@]}"
sleep 0.5  # a few polls of the keyboard
mkdir -p "$(dirname "$output")" "$(dirname "$song_output")"
"$build/packaging/tonarium_grab_window" "$window" "$output"
xdotool keyup "${chord[@]}"
echo "Saved $output"
kill "$program"
wait "$program" || true

# A song of one chord held for two seconds: C4 E4 G4 C5 (notes 13, 17, 20 and 25), a quarter
# note of 96 pulses at 120 a minute, its note ons and offs in running status.
song="$build/screenshot-song.mid"
printf 'MThd\0\0\0\6\0\0\0\1\0\140MTrk\0\0\0\37' >"$song"
printf '\0\220\74\144\0\100\144\0\103\144\0\110\144\203\0\200\74\100\0\100\100\0\103\100\0\110\100' >>"$song"
printf '\0\377\57\0' >>"$song"
start_program "$song"
sleep 0.7  # the song read and its chord lit
"$build/packaging/tonarium_grab_window" "$window" "$song_output"
echo "Saved $song_output"

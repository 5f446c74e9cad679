#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Takes the README's pictures: the main window on a virtual X server, a C major chord held down;
# the window playing a song, a C major chord of it sounding; and a song practised, waiting for its
# chord beside its window «Песня».
#   scripts/screenshot.sh [output.png [song.png [practice.png]]]
#   (docs/screenshot.png, docs/song.png, docs/practice.png)
# BUILD_DIR chooses the build folder (build when not set).
set -euo pipefail
cd "$(dirname "$0")/.."
output=$(realpath -m "${1:-docs/screenshot.png}")
song_output=$(realpath -m "${2:-docs/song.png}")
practice_output=$(realpath -m "${3:-docs/practice.png}")
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
# Wide enough for the song window beside the main window.
start_xvfb "$build/screenshot-xvfb.log" 1280x800x24

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
kill "$program"
wait "$program" || true

# A lesson in two hands, named, at 480 pulses a quarter note: the left hand plays C3 on the first
# beat, the right hand the chord C4 E4 G4 (notes 13, 17 and 20) on the second. The picture: the
# song waiting on that chord, its first key pressed.
lesson="$build/Этюд.mid"
printf 'MThd\0\0\0\6\0\1\0\2\1\340' >"$lesson"
printf 'MTrk\0\0\0\63\0\377\3\25Правая рука' >>"$lesson"
printf '\203\140\220\74\144\0\100\144\0\103\144\217\0\200\74\100\0\100\100\0\103\100\0\377\57\0' >>"$lesson"
printf 'MTrk\0\0\0\44\0\377\3\23Левая рука' >>"$lesson"
printf '\0\221\60\144\203\140\201\60\100\0\377\57\0' >>"$lesson"
start_program --practice "$lesson"
song_window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Песня$' | head -n 1)
sleep 1.5  # past the lead-in: the song waits on the chord
xdotool keydown 5
sleep 0.3
# Both windows, side by side.
geometry() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
    echo "$X,$Y,$WIDTH,$HEIGHT"
}
"$build/packaging/tonarium_grab_window" "$(geometry "$window")" "$(geometry "$song_window")" \
    "$practice_output"
xdotool keyup 5
echo "Saved $practice_output"

# The soak's virtual X server and its handle on the program (sourced by scripts/soak.sh).

main_title='Музыкальный тонариум v 1.01'
message_title='Тонариум'

fail() {
    echo "soak: FAILED: $*" >&2
    if [[ -n "$program_pid" ]] && ! alive; then
        wait "$program_pid" && echo "soak: the program exited with status 0" >&2 ||
            echo "soak: the program exited with status $?" >&2
        program_pid=''
    fi
    tail -n 40 "$work/output" "$work"/sanitizer* >&2 2>/dev/null
    exit 1
}

# A server on the first display number with no lock file, like the test suite's.
start_xvfb() {
    local number=$((600 + $$ % 300))
    while [[ -e /tmp/.X$number-lock ]]; do number=$((number + 1)); done
    Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$number"
    for _ in $(seq 100); do
        [[ -S /tmp/.X11-unix/X$number ]] && return
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.05
    done
    fail "Xvfb did not start"
}

find_window() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1
}

# Prints the window's id once it is shown; fails after the given seconds.
wait_for_window() {
    local title=$1 tenths=$(($2 * 10)) window
    for ((i = 0; i < tenths; ++i)); do
        window=$(find_window "$title")
        [[ -n "$window" ]] && echo "$window" && return
        sleep 0.1
    done
    return 1
}

wait_for_window_gone() {
    for ((i = 0; i < 30; ++i)); do
        [[ -z "$(find_window "$1")" ]] && return
        sleep 0.1
    done
    return 1
}

click() {
    xdotool mousemove --window "$1" "$2" "$3" click 1
}

alive() {
    kill -0 "$program_pid" 2>/dev/null
}

resident_kib() {
    awk '/^VmRSS:/ { print $2 }' "/proc/$program_pid/status"
}

# Clicks "Выход" and waits for the program to end (the leak check at exit takes a while);
# sets exit_status.
quit_program() {
    click "$main" 376 48
    for ((i = 0; i < 600; ++i)); do
        alive || break
        sleep 0.1
    done
    alive && fail "the program did not end after Выход"
    exit_status=0
    wait "$program_pid" || exit_status=$?
}

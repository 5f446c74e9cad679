# SPDX-License-Identifier: MIT
# The soak's virtual X server and its handle on the program (sourced by scripts/soak.sh).

main_title='Музыкальный тонариум v 1.01'
message_title='Тонариум'

fail() {
    echo "soak: FAILED after $((SECONDS - ${start:-0}))s: $*" >&2
    report_program
    failed=1
    exit 1
}

# How the program and the X server ended, if they have, then the end of the program's output, of
# any sanitizer report and of the server's log.
report_program() {
    if [[ -n "$program_pid" ]] && ! alive; then
        local status=0
        wait "$program_pid" || status=$?
        echo "soak: the program $(describe_exit "$status")" | tee -a "$work/output" >&2
        program_pid=''
    fi
    if [[ -n "${xvfb_pid:-}" ]] && ! kill -0 "$xvfb_pid" 2>/dev/null; then
        local server=0
        wait "$xvfb_pid" || server=$?
        echo "soak: the X server on $DISPLAY $(describe_exit "$server")" | tee -a "$work/output" >&2
        xvfb_pid=''
    fi
    tail -n 40 "$work/output" "$work"/sanitizer* "$work/xvfb.log" >&2 2>/dev/null || true
}

# "exited with status N" or "was killed by signal N (NAME)", for a status from wait.
describe_exit() {
    if (($1 > 128)); then
        echo "was killed by signal $(($1 - 128)) ($(kill -l "$(($1 - 128))" 2>/dev/null))"
    else
        echo "exited with status $1"
    fi
}

find_window() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1
}

# Prints the window's id once it is shown; fails after the given seconds, or at once when the
# program has ended.
wait_for_window() {
    local title=$1 tenths=$(($2 * 10)) window
    for ((i = 0; i < tenths; ++i)); do
        alive || return 1
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
    program_pid=''
}

# SPDX-License-Identifier: MIT
# A virtual X server for a script (sourced). The server picks a free display itself and names it
# only once it takes clients, so scripts and tests running side by side never race for a number.

# start_xvfb LOG [SCREEN]: starts the server with its messages in LOG and a screen of SCREEN
# (1024x768x24 unless given), exports DISPLAY and sets xvfb_pid.
# Returns 1 with the reason on standard error when the server ends early or does not name its
# display within 20 s.
start_xvfb() {
    local log=$1 screen=${2:-1024x768x24} ready number='' status=0
    # The number comes on descriptor 3, and standard output goes to the log: the server closes the
    # descriptor once it has written, and its next client's connection may take that number.
    # -noreset: a server that resets as its last client leaves refuses a client connecting then,
    # as a program starting while a script looks for its window (1 in 600 with two busy cores).
    exec {ready}< <(exec Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>&1 >"$log" 2>&1)
    xvfb_pid=$!
    read -r -t 20 -u "$ready" number || status=$?
    exec {ready}<&-
    if [[ -z "$number" ]]; then
        if ((status > 128)); then  # timed out, as opposed to the server closing its end
            echo "Xvfb did not name its display within 20 s" >&2
            stop_xvfb
        else
            echo "Xvfb ended before it took clients:" >&2
            tail -n 20 "$log" >&2
            xvfb_pid=''
        fi
        return 1
    fi
    export DISPLAY=":$number"
}

stop_xvfb() {
    [[ -n "${xvfb_pid:-}" ]] || return 0
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=''
}

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Soak test: the program on a virtual X server under key storms, instrument switches and its two
# modal windows, for a given time, watching its memory.
#   scripts/soak.sh [SECONDS] [PROGRAM]     defaults: 600 and build-sanitize/tonarium
# It fails on a crash, a sanitizer report, a leak found at exit, an unexpected message box, or, in a
# build without AddressSanitizer, resident memory growing more than 5 % past its level after the
# warm-up (the first minute; the first 15 s of short runs). Under AddressSanitizer the growth is
# only printed: its allocator's own bookkeeping adds a few per cent over ten minutes of churn, so
# memory is judged on the normal build (scripts/soak.sh 600 build/tonarium).
# Resident memory swings by several per cent with each window opened and each instrument loaded, so
# the level compared is an average: of the samples in the first stretch after the warm-up, and of
# those in the last stretch of the run (15 s each; 10 s in short runs).
# On any failure, its own stop included, it prints how the program ended and keeps the program's
# output, sanitizer reports and the X server's log in soak-failed-* beside the program.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
duration=${1:-600}
program=$(realpath "${2:-$here/../build-sanitize/tonarium}")
[[ -x "$program" ]] || { echo "soak: no program at $program" >&2; exit 2; }
[[ -d "$(dirname "$program")/wav" ]] || { echo "soak: no sample library beside $program" >&2; exit 2; }
if ((duration >= 120)); then warmup=60 stretch=15; else warmup=15 stretch=10; fi

source "$here/lib/xvfb.sh"
source "$here/soak/x_session.sh"

# The program's output, sanitizer reports and the X server's log; kept beside the program when
# the soak fails, so that an early end can still be explained afterwards.
work=$(mktemp -d /tmp/tonarium-soak.XXXXXX)
program_pid='' failed=0
cleanup() {
    local status=$1 command=$2
    if ((status != 0 && !failed)); then
        echo "soak: FAILED after $((SECONDS - ${start:-0}))s: the soak itself stopped at" \
            "\"$command\" (status $status)" >&2
        report_program
    fi
    [[ -n "$program_pid" ]] && kill -KILL "$program_pid" 2>/dev/null || true
    stop_xvfb
    if ((status != 0)); then
        local kept
        kept="$(dirname "$program")/soak-failed-$(date +%Y%m%d-%H%M%S)-$$"
        mv "$work" "$kept" && echo "soak: its logs are kept in $kept" >&2
    fi
    rm -rf "$work"
}
trap 'cleanup $? "$BASH_COMMAND"' EXIT

start_xvfb "$work/xvfb.log" || fail "Xvfb did not start"
echo "soak: $program for ${duration}s on display $DISPLAY"

# AddressSanitizer's quarantine
# is off: freed blocks held back in it make each block size's heap grow for minutes towards the
# quarantine's size, which reads as growth here (the test suite's sanitizer build keeps it on).
# The window goes to the virtual X server whatever platform the caller's environment names (the
# test suite runs its widget tests offscreen).
QT_QPA_PLATFORM=xcb \
    ASAN_OPTIONS="detect_leaks=1:quarantine_size_mb=0:log_path=$work/sanitizer" \
    UBSAN_OPTIONS="print_stacktrace=1:log_path=$work/sanitizer" \
    LSAN_OPTIONS="suppressions=$here/../tests/lsan.supp:print_suppressions=0" \
    "$program" >"$work/output" 2>&1 &
program_pid=$!
main=$(wait_for_window "$main_title" 30) || fail "the main window did not open"

source "$here/soak/storms.sh"
start=$SECONDS
take_every_road
next_sample=0 first_rss='' rss=0
baseline_sum=0 baseline_count=0 end_sum=0 end_count=0
while ((SECONDS - start < duration)); do
    alive || fail "the program ended by itself"
    elapsed=$((SECONDS - start))
    if ((elapsed >= next_sample)); then
        rss=$(resident_kib) || fail "the program's memory could not be read"
        [[ -z "$first_rss" ]] && first_rss=$rss
        if ((elapsed >= warmup && elapsed < warmup + stretch)); then
            baseline_sum=$((baseline_sum + rss)) baseline_count=$((baseline_count + 1))
        fi
        if ((elapsed >= duration - stretch)); then
            end_sum=$((end_sum + rss)) end_count=$((end_count + 1))
        fi
        printf 'soak: %4ds  rss %6d KiB  key presses %d\n' "$elapsed" "$rss" "$key_presses"
        next_sample=$((elapsed + 2))
    fi
    [[ -n "$(find_window "$message_title")" ]] && fail "a message box came up"
    case $((RANDOM % 40)) in
        0) switch_instrument ;;
        1) open_and_close_modal ;;
        *) key_storm ;;
    esac
done
((baseline_count > 0 && end_count > 0)) || fail "too short a run to compare memory"
baseline_rss=$((baseline_sum / baseline_count))
end_rss=$((end_sum / end_count))

quit_program
status=$exit_status

echo "soak: ran ${duration}s: $storms key storms, $key_presses key presses," \
    "$switches instrument switches, $modals modal windows opened and closed ($modal_note)"
growth=$(awk -v from="$baseline_rss" -v to="$end_rss" 'BEGIN { printf "%+.1f", (to - from) * 100 / from }')
echo "soak: rss at start $first_rss KiB, after warm-up ($warmup-$((warmup + stretch))s)" \
    "$baseline_rss KiB, at end (last ${stretch}s) $end_rss KiB: $growth %"
if compgen -G "$work/sanitizer*" >/dev/null; then
    cat "$work"/sanitizer* >&2
    fail "sanitizer report (the program $(describe_exit "$status"))"
fi
((status == 0)) || fail "the program $(describe_exit "$status") after Выход"
if ldd "$program" | grep -q libasan; then
    echo "soak: memory growth not judged under AddressSanitizer"
else
    awk -v growth="$growth" 'BEGIN { exit !(growth <= 5) }' || fail "resident memory grew more than 5 %"
fi
echo "soak: passed"

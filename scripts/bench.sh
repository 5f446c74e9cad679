#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the program optimised and prints the benchmark figures.
#   scripts/bench.sh [SECONDS]          the services; on private PulseAudio and PipeWire servers,
#                                       start-up and memory beside an empty Qt window, CPU while
#                                       silent (over SECONDS, 3 by default) and while sounding,
#                                       each against its target
#   scripts/bench.sh latency [OPTIONS]  key -> sound latency on private PulseAudio and PipeWire
#                                       servers, a few minutes; OPTIONS go to latency_bench
#                                       (--server pulseaudio|pipewire, --program, --arguments,
#                                       --config, --quanta, --recorder-quantum)
#   scripts/bench.sh midi [--program FILE] [--runs N]  key -> MIDI note on through a private
#                                       JACK server at 64 and 256 frames a period, beside a
#                                       reference JACK client; then N runs (30) of a 24-key chord
#                                       at 16 frames, on jackd and on PipeWire through pw-jack,
#                                       counting the notes lost and whose loss each was; about two
#                                       minutes
#   scripts/bench.sh midi-in [--program FILE]  MIDI in -> sound beside key -> sound: a device's
#                                       note ons into the program's input and XTest keys, the
#                                       sink's monitor recorded, on jackd with PulseAudio and on
#                                       PipeWire through pw-jack, at 128 frames; under a minute
#   scripts/bench.sh storms [SECONDS]   a minute (or SECONDS) of key storms on each sound server
#                                       (PipeWire, PulseAudio, ALSA through its PulseAudio
#                                       plug-in) with both cores kept busy: how often the program's
#                                       output fell behind, by its own count (target: 0)
#   scripts/bench.sh soak [MINUTES]     an hour (or MINUTES) of key rounds on a private PipeWire
#                                       restarted every three minutes, with MIDI out through
#                                       PipeWire's JACK: every press heard and sent once; memory,
#                                       open files and threads over the run
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --test
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -Wno-dev >/dev/null
if [[ "${1:-}" == "latency" ]]; then
    shift
    cmake --build build-bench --parallel "$(nproc)" --target latency_bench
    # What the program, the servers and Xvfb say goes to a log, not between the figures.
    build-bench/bench/latency_bench "$@" 2>build-bench/latency_bench.log
    exit
fi
if [[ "${1:-}" == "storms" ]]; then
    cmake --build build-bench --parallel "$(nproc)" --target storm_bench tonarium
    build-bench/bench/storm_bench --seconds "${2:-60}" 2>build-bench/storm_bench.log
    exit
fi
if [[ "${1:-}" == "soak" ]]; then
    cmake --build build-bench --parallel "$(nproc)" --target soak_bench tonarium
    pw-jack build-bench/bench/soak_bench --minutes "${2:-60}" 2>build-bench/soak_bench.log
    exit
fi
# The MIDI benchmarks, midi_bench and midi_in_bench, on jackd and then on PipeWire's JACK.
if [[ "${1:-}" == "midi" || "${1:-}" == "midi-in" ]]; then
    bench=${1//-/_}_bench
    shift
    cmake --build build-bench --parallel "$(nproc)" --target "$bench"
    build-bench/bench/"$bench" "$@" 2>build-bench/"$bench".log
    pw-jack build-bench/bench/"$bench" "$@" 2>>build-bench/"$bench".log
    exit
fi
cmake --build build-bench --parallel "$(nproc)" --target services_bench startup_bench
build-bench/bench/services_bench 2>/dev/null
build-bench/bench/startup_bench "${1:-3}" 2>/dev/null

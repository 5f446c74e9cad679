#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Fuzzes sample loading, then song reading, for a while: fuzz/run.sh DURATION_SECONDS [BUILD_DIR]
# Builds the fuzzers with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer), seeds
# the corpora with the committed seeds (seeds/: every WAV layout and song shape, and broken files)
# and regressions, then runs them, the songs for a third of the time. The corpora grow in
# BUILD_DIR/corpus and BUILD_DIR/song_corpus from run to run. Exits non-zero on a finding, whose
# input is left in BUILD_DIR/findings/: copy it into fuzz/regressions/ so that the test suite
# replays it.
set -euo pipefail
duration=${1:?usage: fuzz/run.sh DURATION_SECONDS [BUILD_DIR]}
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath -m "${2:-$here/../build-fuzz}")

cmake -S "$here" -B "$build" -Wno-dev -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel 2 >/dev/null

mkdir -p "$build/corpus" "$build/song_corpus" "$build/findings"
cp "$here"/regressions/*.wav "$build/corpus/" 2>/dev/null || true
cp "$here"/regressions/*.mid "$build/song_corpus/" 2>/dev/null || true
song_duration=$((duration / 3))

# The decoders inside libsndfile chatter on stderr; -close_fd_mask silences them but not the
# fuzzer and sanitizer reports. OpenAL only mixes on the loopback device: no warnings wanted.
export ALSOFT_LOGLEVEL=0
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=0:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
status=0
"$build/wav_fuzzer" -max_total_time=$((duration - song_duration)) -max_len=65536 -timeout=20 \
    -rss_limit_mb=2048 -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$build/findings/" \
    "$build/corpus" "$here/seeds/wav" "$here/seeds/wav_broken" || status=$?
echo "corpus: $(find "$build/corpus" -type f | wc -l) files"
# Each input is read by the song reader in a process of its own, as the program reads a song; a
# small quarantine keeps the fuzzer's memory small.
ASAN_OPTIONS=$ASAN_OPTIONS:quarantine_size_mb=4 "$build/song_fuzzer" -max_total_time="$song_duration" -max_len=65536 -timeout=20 \
    -rss_limit_mb=2048 -close_fd_mask=3 -print_final_stats=1 \
    -artifact_prefix="$build/findings/song-" "$build/song_corpus" "$here/seeds/mid" \
    "$here/seeds/mid_broken" || status=$?
echo "song corpus: $(find "$build/song_corpus" -type f | wc -l) files"
exit "$status"

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# One command from a fresh Debian 12 machine to a passing test suite: the normal build, then the
# same tests again under AddressSanitizer and UndefinedBehaviorSanitizer, then the sound device's
# tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --test
jobs=$(nproc)

run_suite() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -Wno-dev "$@" >/dev/null
    cmake --build "$dir" --parallel "$jobs"
    # Every test passes the first time: none is run again. Most of a test's time is spent waiting
    # on its servers and its timers, so one more runs than there are processors.
    (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel $((jobs + 1)))
}

# Line tables only (-g1): a failure's backtrace keeps its lines, and the builds take a fifth less.
lines=-g1
echo "== normal build =="
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 $lines -DNDEBUG"
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build =="
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1"
run_suite build-sanitize -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=$lines -DTONARIUM_SANITIZE=ON \
    -DTONARIUM_BENCHMARKS=OFF
echo "== ThreadSanitizer build: the sound device tests =="
# They link no Qt code that runs; the device's rendering threads meet the program's thread there.
cmake -S . -B build-tsan -Wno-dev -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=$lines \
    -DTONARIUM_BENCHMARKS=OFF \
    -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build build-tsan --parallel "$jobs" --target sound_device_tests
TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp halt_on_error=1" \
    build-tsan/tests/platform/sound/sound_device_tests

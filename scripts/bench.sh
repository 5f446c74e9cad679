#!/usr/bin/env bash
# Builds the program optimised and prints the benchmark figures.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --test
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -Wno-dev >/dev/null
cmake --build build-bench --parallel "$(nproc)" --target services_bench startup_bench
build-bench/bench/services_bench 2>/dev/null
build-bench/bench/startup_bench "${1:-10}" 2>/dev/null

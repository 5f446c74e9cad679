#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The tests that time what a person sees and hears, each run until it fails or has passed N times,
# while two busy processes (`yes`) take the machine's cores as other work would:
#   scripts/load_test.sh BUILD_DIR [N] [CTEST_ARGUMENTS...]
# N is 10 unless given; the tests are those labelled e2e, reliability, midi or song unless ctest
# arguments choose others (e.g. -R SoundServerTest). Exits with ctest's status.
set -euo pipefail
build=${1:?usage: scripts/load_test.sh BUILD_DIR [N] [CTEST_ARGUMENTS...]}
repeat=${2:-10}
shift $(($# < 2 ? $# : 2))
selection=("$@")
((${#selection[@]})) || selection=(-L 'e2e|reliability|midi|song')

busy=()
trap 'kill "${busy[@]}" 2>/dev/null || true' EXIT
for _ in 1 2; do
    yes >/dev/null &
    busy+=($!)
done
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --repeat "until-fail:$repeat" "${selection[@]}"

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# One command from a fresh Debian 12 machine to a running Тонариум.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DTONARIUM_TESTS=OFF -Wno-dev >/dev/null
cmake --build build-release --parallel "$(nproc)" --target tonarium
exec build-release/tonarium "$@"

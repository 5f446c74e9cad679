#!/usr/bin/env bash
# One command from a fresh Debian 12 machine to a running Тонариум.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -Wno-dev >/dev/null
cmake --build build --parallel "$(nproc)" --target tonarium
exec build/tonarium "$@"

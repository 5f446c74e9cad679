#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Regenerates the sample library in assets/wav from the FluidR3 General MIDI SoundFont:
# installs the Debian packages it needs if missing, builds tools/samplegen and runs it.
#   tools/samplegen/generate.sh [soundfont.sf2]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
soundfont=${1:-/usr/share/sounds/sf2/FluidR3_GM.sf2}

packages=(build-essential cmake pkg-config libfluidsynth-dev libsndfile1-dev fluid-soundfont-gm)
missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
if [[ ${#missing[@]} -gt 0 ]]; then
    echo "Installing: ${missing[*]}"
    sudo=()
    [[ $(id -u) -eq 0 ]] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
fi

build="$root/build-samples/samplegen"
cmake -S "$root/tools/samplegen" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel 2

library="$root/assets/wav"
rm -f "$library"/piano/*.wav "$library"/organ/*.wav
"$build/samplegen" "$soundfont" "$library"
du -sh "$library"

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages the project needs that are not installed yet.
#   scripts/setup.sh          what building and running need
#   scripts/setup.sh --test   also what the test suite and the benchmarks need (virtual X server,
#                             key presses, sanitizers, sound servers, a Wayland compositor, the
#                             Debian package's checks)
set -euo pipefail

build_packages=(
    build-essential cmake pkg-config
    qt6-base-dev libgl-dev
    libopenal-dev libopenal1 libsndfile1-dev libx11-dev libxi-dev
    libjack-jackd2-dev libasound2-dev libsmf-dev
    libpipewire-0.3-dev libpulse-dev
    fonts-dejavu-core
)
test_packages=(
    googletest libgtest-dev
    xvfb xauth xdotool x11-utils
    clang libclang-rt-14-dev
    desktop-file-utils appstream dpkg-dev file lintian man-db
    libxtst-dev pulseaudio pulseaudio-utils
    pipewire pipewire-pulse wireplumber dbus dbus-user-session
    jackd2 pipewire-jack libportsmf-dev
    weston qt6-wayland
)

wanted=("${build_packages[@]}")
[[ "${1:-}" == "--test" ]] && wanted+=("${test_packages[@]}")

missing=()
for package in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

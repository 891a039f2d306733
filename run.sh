#!/usr/bin/env bash
# Builds the release configuration into build/release and starts Quorvex on its default
# connection: the emulation over the demo image.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/packages.sh
quorvex_install_packages "${QUORVEX_BUILD_PACKAGES[@]}"

jobs=${QUORVEX_JOBS:-$(nproc 2>/dev/null || echo 4)}
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEX_BUILD_TESTS=OFF
cmake --build build/release -j "$jobs"

program=build/release/program/Quorvex
# The demo image and the splash picture are opened from the current directory.
cd "$(dirname "$program")"
exec ./Quorvex "$@"

#!/usr/bin/env bash
# Builds the test configuration (AddressSanitizer + UndefinedBehaviorSanitizer) into
# build/test and runs every test. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/packages.sh
quorvex_install_packages "${QUORVEX_BUILD_PACKAGES[@]}" "${QUORVEX_TEST_PACKAGES[@]}"

jobs=${QUORVEX_JOBS:-$(nproc 2>/dev/null || echo 4)}
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVEX_SANITIZE=ON
cmake --build build/test -j "$jobs"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build/test --output-on-failure -j "$jobs" --timeout 600

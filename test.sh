#!/usr/bin/env bash
# Builds the test configuration (AddressSanitizer + UndefinedBehaviorSanitizer) into
# build/test and runs every test; then the std-only libraries and their tests under
# ThreadSanitizer (build/tsan); then, where clang is installed, replays and briefly runs
# every fuzz target (build/fuzz). Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/packages.sh
quorvex_install_packages "${QUORVEX_BUILD_PACKAGES[@]}" "${QUORVEX_TEST_PACKAGES[@]}"

jobs=${QUORVEX_JOBS:-$(nproc 2>/dev/null || echo 4)}

# A stuck test fails after two minutes (each test also carries this as its TIMEOUT).
ctest_run() {
  ctest --test-dir "$1" --output-on-failure -j "$jobs" --timeout 120
}

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVEX_SANITIZE=ON
cmake --build build/test -j "$jobs"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest_run build/test

# Data races in the core: any report fails the test that made it.
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEX_TSAN=ON \
  -DQUORVEX_WIDGETS=OFF -DQUORVEX_BUILD_BENCH=OFF
cmake --build build/tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest_run build/tsan

# Every fuzz target replays its seeds and runs for 15 s from a fixed seed (scripts/fuzz.sh
# runs them longer).
if command -v clang++ >/dev/null 2>&1; then
  QUORVEX_FUZZ_SEED=1 scripts/fuzz.sh 15
else
  echo "clang++ not installed: the fuzz targets were not run"
fi

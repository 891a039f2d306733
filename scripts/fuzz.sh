#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build/fuzz, writes their seed corpora, replays
# every target over its seeds, then runs each for a while, keeping what it finds new in
# build/fuzz/corpus/<target>. A crash, leak, time-out or failed property leaves its input in
# build/fuzz/artifacts and makes the script fail.
#
# Usage: scripts/fuzz.sh [seconds per target, default 15] [target ...]
#   targets are the names after "fuzz_" (WaveFile, ImageRecorder, ...); default all.
#   QUORVEX_JOBS: parallel build jobs (default: the number of cores).
#   QUORVEX_FUZZ_JOBS: fuzzers running at once (default 3).
#   QUORVEX_FUZZ_BUILD: the build folder (default build/fuzz).
#   QUORVEX_FUZZ_SEED: libFuzzer's random seed (default: a new one each run).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-15}
[ $# -gt 0 ] && shift
jobs=${QUORVEX_JOBS:-$(nproc 2>/dev/null || echo 4)}
fuzz_jobs=${QUORVEX_FUZZ_JOBS:-3}
build=${QUORVEX_FUZZ_BUILD:-build/fuzz}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DQUORVEX_FUZZ=ON -DQUORVEX_WIDGETS=OFF >/dev/null
cmake --build "$build" -j "$jobs"

bin="$build/tests/fuzz"
if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for f in "$bin"/fuzz_*; do targets+=("${f##*/fuzz_}"); done
fi

rm -rf "$build/seeds"
"$bin/quorvex_fuzz_seeds" "$build/seeds"
mkdir -p "$build/artifacts" "$build/logs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# Replays the seeds, then fuzzes; the log keeps libFuzzer's own account.
fuzz_one() {
  local name=$1 log="$build/logs/$1.log"
  local corpus="$build/corpus/$name" seeds="$build/seeds/$name"
  mkdir -p "$corpus" "$seeds"
  if ! "$bin/fuzz_$name" -runs=0 "$seeds" >"$log" 2>&1; then
    echo "fuzz $name: a seed fails on replay (see $log)"
    return 1
  fi
  if ! "$bin/fuzz_$name" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
      -print_final_stats=1 -seed="${QUORVEX_FUZZ_SEED:-0}" -artifact_prefix="$build/artifacts/$name-" \
      "$corpus" "$seeds" >>"$log" 2>&1; then
    echo "fuzz $name: FAILED (see $log and $build/artifacts)"
    return 1
  fi
  local runs
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -1 | grep -o '[0-9]*$')
  echo "fuzz $name: ${runs:-?} executions in ${seconds} s, no finding"
}

# Each target's last line in the results file says how it went.
results="$build/logs/results"
: >"$results"
for name in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$fuzz_jobs" ]; do wait -n || true; done
  fuzz_one "$name" >>"$results" &
done
wait
cat "$results"
failed=$(grep -c "FAILED\|fails on replay" "$results" || true)
echo "fuzz: ${#targets[@]} targets, $failed failed"
[ "$failed" -eq 0 ]

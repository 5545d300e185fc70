#!/usr/bin/env bash
# Builds the libFuzzer harnesses of tests/fuzz with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer (in build-fuzz/) and runs each for SECONDS seconds, starting from its
# seeds in tests/fuzz/seeds/NAME/ (what a run finds new goes to build-fuzz/corpus/NAME/).
# A crash, a sanitizer finding or a broken property ends the run with a failure; the input that
# caused it is left as build-fuzz/findings/NAME/crash-*.
#
# usage: scripts/fuzz.sh [SECONDS] [NAME...]    (default: 20 seconds, every harness)
# Prints one line per harness: its name, the executions and what was found.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
SECONDS_EACH=${1:-20}
shift || true
BUILD=$ROOT/build-fuzz

export CCACHE_BASEDIR=$ROOT
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DLUMIVOX_FUZZ=ON \
  -DLUMIVOX_BUILD_TESTS=OFF -DLUMIVOX_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j2 --target fuzzers

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for seeds in tests/fuzz/seeds/*/; do names+=("$(basename "$seeds")"); done
fi
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$ROOT/tests/fuzz/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=0
for name in "${names[@]}"; do
  corpus=$BUILD/corpus/$name
  findings=$BUILD/findings/$name
  mkdir -p "$corpus" "$findings"
  log=$BUILD/findings/$name.log
  status=0
  "$BUILD/fuzz/fuzz_$name" -max_total_time="$SECONDS_EACH" -max_len=4096 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" \
    "$corpus" "tests/fuzz/seeds/$name" > "$log" 2>&1 || status=$?
  runs=$(awk '/stat::number_of_executed_units/ { print $2 }' "$log")
  if [ "$status" -eq 0 ]; then
    printf '%-16s %10s executions in %s s, no finding\n' "$name" "${runs:-?}" "$SECONDS_EACH"
  else
    printf '%-16s %10s executions: FINDING (exit %d), see %s\n' "$name" "${runs:-?}" "$status" "$log"
    grep -m3 -E 'ERROR|SUMMARY|runtime error' "$log" || true
    failed=1
  fi
done
exit $failed

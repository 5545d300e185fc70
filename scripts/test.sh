#!/usr/bin/env bash
# Installs the dependencies, builds Lumivox (Release, Ninja, ccache) and runs the whole test
# suite and both demos. Stage by stage; each stage prints its time when it ends, and the run ends
# with a table of all of them (also when a stage fails, which ends the run with its status).
#
#   deps      the Debian packages (scripts/install-deps.sh)
#   format    clang-format on every tracked .cpp and .h file                        (CI only)
#   gcc       GCC Release build in build/ (warnings as errors in CI)
#   gcc-test  the whole suite on that build
#   san       Clang Release build with AddressSanitizer and UndefinedBehaviorSanitizer and
#             warnings as errors, in build-san/                                      (CI only)
#   san-test  the whole suite once more on that build; any finding fails its test   (CI only)
#   fuzz      every libFuzzer harness of tests/fuzz for 20 s (scripts/fuzz.sh)           (CI only)
#   demo      the demo against today's service and against the classic one
#
# `bash scripts/test.sh STAGE...` runs only the stages named. With CI=true (.ci/run sets it) every
# stage runs, and a test that misses a tool fails instead of skipping.
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD"

in_ci=false
[ "${CI:-}" = true ] && in_ci=true
werror=OFF
$in_ci && werror=ON

timings=()
print_timings() {
  local status=$?
  if [ ${#timings[@]} -gt 0 ]; then
    echo "== stage times"
    printf '   %s\n' "${timings[@]}"
  fi
  return $status
}
trap print_timings EXIT

wanted=("$@")
# stage NAME ci|all COMMAND...: runs the command as stage NAME when it was asked for, or, when
# none was named, when it belongs to every run (all) or this is a CI run.
stage() {
  local name=$1 when=$2
  shift 2
  if [ ${#wanted[@]} -gt 0 ]; then
    [[ " ${wanted[*]} " == *" $name "* ]] || return 0
  elif [ "$when" = ci ] && ! $in_ci; then
    return 0
  fi
  echo "== stage $name"
  local start=$SECONDS
  "$@"
  local took=$((SECONDS - start))
  timings+=("$(printf '%-10s %3d:%02d' "$name" $((took / 60)) $((took % 60)))")
  echo "== stage $name: $took s"
}

check_format() {
  # shellcheck disable=SC2046 # one file name per word; no tracked name has a space
  clang-format --dry-run --Werror $(git ls-files '*.cpp' '*.h')
}

# build DIR C-COMPILER C++-COMPILER [CMAKE OPTION...]
build() {
  local dir=$1 cc=$2 cxx=$3
  shift 3
  CC=$cc CXX=$cxx cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DLUMIVOX_WERROR="$werror" "$@" >/dev/null
  cmake --build "$dir" -j2
}

run_suite() {
  (cd "$1" && ctest -j2 --output-on-failure --timeout 600)
}

# Leaks are findings too; every finding ends the process with an error.
run_sanitized_suite() {
  ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:abort_on_error=0" \
    UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
    LSAN_OPTIONS="suppressions=$PWD/tests/support/lsan.supp:print_suppressions=0" \
    run_suite build-san
}

# The demo, against today's service and against the classic one, as a user runs it.
demos() {
  bash scripts/demo.sh && bash scripts/demo.sh --classic
}

stage deps all bash scripts/install-deps.sh
stage format ci check_format
stage gcc all build build gcc g++
stage gcc-test all run_suite build
stage san ci build build-san clang clang++ -DLUMIVOX_SANITIZE=ON -DLUMIVOX_BUILD_BENCH=OFF
stage san-test ci run_sanitized_suite
# A crash, a sanitizer finding or a broken property found by a harness fails the run.
stage fuzz ci bash scripts/fuzz.sh 20
stage demo all demos

#!/usr/bin/env bash
# Installs the dependencies, builds Lumivox (Release, Ninja, ccache) and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
export CCACHE_BASEDIR="$PWD"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j2
cd build
ctest -j2 --output-on-failure --timeout 600
# The demo, against today's service and against the classic one, as a user runs it.
cd .. && bash scripts/demo.sh && bash scripts/demo.sh --classic
# The libFuzzer harnesses, 20 seconds each: a crash, a sanitizer finding or a broken property fails CI.
bash scripts/fuzz.sh 20

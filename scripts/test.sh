#!/usr/bin/env bash
# Installs the build's packages, then builds and runs the whole test suite: a normal
# build, the libFuzzer targets for a bounded time (FUZZ_SECONDS each, default 60), and
# a build with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 600
}

run_suite build
scripts/fuzz.sh
run_suite build-asan -DQYN_SANITIZE=ON

#!/usr/bin/env bash
# Installs the packages (with OpenCV), builds the conversion benchmark in Release and runs
# it. Arguments go to bench_convert (a repetition scale, default 1). Run it on an idle
# machine: other work on the cores shows up in every number.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --bench
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQYN_BUILD_BENCH=ON -DQYN_BUILD_TESTS=OFF
cmake --build build-bench -j "$(nproc)" --target bench_convert
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
exec build-bench/bench/bench_convert "$@"

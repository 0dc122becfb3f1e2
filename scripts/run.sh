#!/usr/bin/env bash
# Installs the build's packages, builds QynSample and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target qynsample
exec build/app/qynsample "$@"

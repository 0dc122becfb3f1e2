#!/usr/bin/env bash
# Installs the build's packages, builds QynSample, puts the sample video configurations
# where its start-up dialog looks first, and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target qynsample
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
"${sudo_cmd[@]}" cmake --install build --component video_config
exec build/app/qynsample "$@"

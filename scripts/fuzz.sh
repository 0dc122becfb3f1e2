#!/usr/bin/env bash
# Builds the libFuzzer targets with Clang into build-fuzz and runs each for a bounded
# time (FUZZ_SECONDS, default 60). Fails on any crash, leak or sanitizer finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
dir=build-fuzz

CC=clang-14 CXX=clang++-14 cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQYN_BUILD_FUZZ=ON -DQYN_BUILD_TESTS=ON
mapfile -t targets < <(cmake --build "$dir" --target help | sed -n 's/^\(fuzz_[a-z0-9_]*\): phony$/\1/p' | grep -v '_autogen')
cmake --build "$dir" -j "$(nproc)" --target make_image_corpus
"$dir/tests/fuzz/make_image_corpus" "$dir/fuzz-seeds/fuzz_load_image"

status=0
for target in "${targets[@]}"; do
  if ! cmake --build "$dir" -j "$(nproc)" --target "$target"; then
    echo "== $target does not build" >&2
    status=1
    continue
  fi
  corpus="$dir/fuzz-corpus/$target"
  mkdir -p "$corpus"
  seed_dirs=()
  [[ -d "$dir/fuzz-seeds/$target" ]] && seed_dirs+=("$dir/fuzz-seeds/$target")
  [[ -d "tests/fuzz/seeds/$target" ]] && seed_dirs+=("tests/fuzz/seeds/$target")
  mkdir -p "$dir/fuzz-artifacts"
  echo "== $target: ${seconds}s"
  if ! ASAN_OPTIONS=detect_leaks=1 QT_QPA_PLATFORM=offscreen \
       "$dir/tests/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=30 \
       -print_final_stats=1 -artifact_prefix="$dir/fuzz-artifacts/$target-" \
       "$corpus" "${seed_dirs[@]}"; then
    echo "== $target FAILED" >&2
    status=1
  fi
done
exit $status

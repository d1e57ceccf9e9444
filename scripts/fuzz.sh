#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan+UBSan) and runs each for
# SECONDS seconds (default 30) from its committed seed corpus:
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Fuzz >/dev/null
cmake --build build-fuzz --parallel "$(nproc)" \
  --target $(ls tests/fuzz/*.cpp | xargs -n1 basename | sed 's/\.cpp$//')
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=($(ls tests/fuzz/*.cpp | xargs -n1 basename | sed 's/\.cpp$//'))
for target in "${targets[@]}"; do
  corpus=$(mktemp -d)
  cp -r "tests/fuzz/corpus/$target/." "$corpus/" 2>/dev/null || true
  echo "== $target (${seconds}s)"
  ASAN_OPTIONS=detect_leaks=1 "build-fuzz/tests/fuzz/$target" -max_total_time="$seconds" \
    -max_len=131072 -close_fd_mask=1 -print_final_stats=1 "$corpus" 2>&1 | grep -E 'stat::number_of_executed_units|cov:|ERROR|SUMMARY' | tail -4
  rm -rf "$corpus"
done

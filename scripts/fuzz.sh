#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz/fuzz_*.cpp) with clang, ASan and
# UBSan, and runs each for SECONDS seconds (default 30) from its committed
# seed corpus (tests/fuzz/corpus/<target>/). Fails on the first finding.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
all_targets=($(ls tests/fuzz/fuzz_*.cpp | xargs -n1 basename | sed 's/\.cpp$//'))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Fuzz >/dev/null
cmake --build build-fuzz --parallel "$(nproc)" --target "${targets[@]}"

for target in "${targets[@]}"; do
  corpus=$(mktemp -d)
  log=$(mktemp)
  cp -r "tests/fuzz/corpus/$target/." "$corpus/" 2>/dev/null || true
  echo "== $target (${seconds}s)"
  status=0
  ASAN_OPTIONS=detect_leaks=1 "build-fuzz/tests/fuzz/$target" -max_total_time="$seconds" \
    -max_len=131072 -close_fd_mask=1 -print_final_stats=1 "$corpus" >"$log" 2>&1 || status=$?
  grep -E '^#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::peak_rss' "$log" || true
  if [ "$status" -ne 0 ]; then
    grep -A40 -E 'ERROR|Deadly|SUMMARY' "$log" | head -80
    echo "$target: finding (exit $status); reproducer in the working directory"
    exit 1
  fi
  rm -rf "$corpus" "$log"
done

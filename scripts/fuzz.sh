#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz/fuzz_*.cpp) with clang, ASan and
# UBSan, and runs each for SECONDS seconds (default 30) from its committed
# seed corpus (tests/fuzz/corpus/<target>/), as many at once as there are
# cores. Fails if any target finds something.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
all_targets=($(ls tests/fuzz/fuzz_*.cpp | xargs -n1 basename | sed 's/\.cpp$//'))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")
# libFuzzer reads a total time of 0 as no limit.
[ "$seconds" -gt 0 ] || { echo "fuzz.sh: SECONDS must be above 0" >&2; exit 2; }

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Fuzz >/dev/null
cmake --build build-fuzz --parallel "$(nproc)" --target "${targets[@]}"

# One target from a scratch copy of its corpus; prints its summary (or its
# finding, leaving the reproducer in the working directory) when it ends.
fuzz_one() {
  local target=$1 seconds=$2 corpus log status=0
  corpus=$(mktemp -d)
  log=$(mktemp)
  cp -r "tests/fuzz/corpus/$target/." "$corpus/" 2>/dev/null || true
  ASAN_OPTIONS=detect_leaks=1 "build-fuzz/tests/fuzz/$target" -max_total_time="$seconds" \
    -max_len=131072 -close_fd_mask=1 -print_final_stats=1 "$corpus" >"$log" 2>&1 || status=$?
  {
    echo "== $target (${seconds}s)"
    grep -E '^#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::peak_rss' "$log" || true
    if [ "$status" -ne 0 ]; then
      grep -A40 -E 'ERROR|Deadly|SUMMARY' "$log" | head -80
      echo "$target: finding (exit $status); reproducer in the working directory"
    fi
  } | flock build-fuzz/.report.lock cat
  rm -rf "$corpus" "$log"
  return "$status"
}
export -f fuzz_one

printf '%s\n' "${targets[@]}" | xargs -P "$(nproc)" -I{} bash -c 'fuzz_one "$1" "$2"' _ {} "$seconds"

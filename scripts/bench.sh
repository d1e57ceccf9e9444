#!/usr/bin/env bash
# Builds the benchmarks (Release, in build-bench) and runs them: every
# exported function of both libraries next to the floor its design imposes.
# Prints the benchmark report and a Markdown table, which also goes to
# build-bench/performance-table.md with the machine's conditions.
#   scripts/bench.sh [REPETITIONS] [benchmark flags...]
# Needs root (a private mount namespace, as the tests). Measure on a quiet
# machine: the table holds the fastest of REPETITIONS (default 5) runs of each
# benchmark, all run in random order.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-bench
repetitions=${1:-5}
shift || true
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVIK_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$dir" --parallel "$(nproc)" --target quorvik_bench quorvik_sim_bench quorvik-sim
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
"$dir/bench/quorvik_bench" --table="$dir/table.md" \
  --benchmark_repetitions="$repetitions" --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true --benchmark_min_time=0.2 "$@"
# The same readers under quorvik-sim (the product simulator), to hold against
# their rows above on the test simulator: at most twice as dear.
"$dir/sim/quorvik-sim" run examples/boards/kt-500r -- "$dir/bench/quorvik_sim_bench" \
  --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true \
  --benchmark_min_time=0.2 --benchmark_format=console | tee "$dir/sim-bench.txt"
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
{
  echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores"\
       "($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')),"\
       "load average before $load_before, after $load_after;"\
       "fastest of $repetitions repetitions."
  echo
  cat "$dir/table.md"
  echo
  echo "Under quorvik-sim (example board kt-500r), median of the repetitions:"
  echo
  echo "| Reading | Time | CPU |"
  echo "|---|---|---|"
  awk '/_median / { name = $0; sub(/_median .*/, "", name)
                    print "| " name " | " $(NF-4) " " $(NF-3) " | " $(NF-2) " " $(NF-1) " |" }' \
    "$dir/sim-bench.txt"
} > "$dir/performance-table.md"
echo
echo "Table with conditions: $dir/performance-table.md"

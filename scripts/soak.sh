#!/usr/bin/env bash
# The long soak: every exported function that does not sleep, 100,000 times
# in one process on the simulated board (the command-running ones 1000
# times), with descriptors, port permissions and heap compared before and
# after (tests/soak/soak_test.cpp). The suite runs the same test with 1000
# calls a function (100 for the commands); this is the months of polling.
# The Sanitize build, where every allocation is several times dearer, makes
# a quarter of the calls (half of the commands').
#   scripts/soak.sh [DIR] [BUILD_TYPE]   (default: build RelWithDebInfo)
# QUORVIK_SOAK_CALLS and QUORVIK_SOAK_COMMAND_CALLS set other counts.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
type=${2:-RelWithDebInfo}
calls=100000
command_calls=1000
if [ "$type" = Sanitize ]; then
  calls=25000
  command_calls=500
fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DQUORVIK_WERROR=ON >/dev/null
cmake --build "$dir" --parallel "$(nproc)" --target test_soak
QUORVIK_SOAK_CALLS=${QUORVIK_SOAK_CALLS:-$calls} \
  QUORVIK_SOAK_COMMAND_CALLS=${QUORVIK_SOAK_COMMAND_CALLS:-$command_calls} \
  ASAN_OPTIONS=detect_leaks=1 "$dir/tests/test_soak"

#!/usr/bin/env bash
# Configures and builds one build tree: scripts/build.sh [--all] [DIR] [BUILD_TYPE]
# Without --all only the product (the libraries, quorvik-info, zk_set_relay,
# quorvik-sim and its simulated libraries, the man pages): what the README's
# first command runs. --all builds the tests and benchmarks too, after it.
set -euo pipefail
cd "$(dirname "$0")/.."
all=false
if [ "${1:-}" = "--all" ]; then
  all=true
  shift
fi
dir=${1:-build}
type=${2:-RelWithDebInfo}
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DQUORVIK_WERROR=ON >/dev/null
cmake --build "$dir" --parallel "$(nproc)" --target quorvik-product
if $all; then
  cmake --build "$dir" --parallel "$(nproc)"
fi

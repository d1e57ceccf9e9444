#!/usr/bin/env bash
# Configures and builds one build tree: scripts/build.sh [DIR] [BUILD_TYPE]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
type=${2:-RelWithDebInfo}
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DQUORVIK_WERROR=ON >/dev/null
cmake --build "$dir" --parallel "$(nproc)"

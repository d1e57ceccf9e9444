#!/usr/bin/env bash
# Builds and runs the whole test suite: the normal build, then the same
# suite under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
for config in "build RelWithDebInfo" "build-sanitize Sanitize"; do
  set -- $config
  scripts/build.sh "$1" "$2"
  ASAN_OPTIONS=detect_leaks=1 ctest --test-dir "$1" --output-on-failure --timeout 300 -j "$(nproc)"
done

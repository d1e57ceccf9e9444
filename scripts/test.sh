#!/usr/bin/env bash
# Builds and runs the whole test suite: the normal build, the same suite under
# AddressSanitizer+UndefinedBehaviorSanitizer (with LeakSanitizer), the tests
# that run threads under ThreadSanitizer, then a short run of every fuzz
# target. The long soak runs apart: scripts/soak.sh.
#   FUZZ_SECONDS=N scripts/test.sh   (default 30 seconds a target; 0 skips)
# Run as root, a test that skips fails the run (scripts/skipped_tests.sh);
# run as another user, each build ends with the list of skipped tests.
set -euo pipefail
cd "$(dirname "$0")/.."
for config in "build RelWithDebInfo" "build-sanitize Sanitize" "build-tsan Tsan"; do
  set -- $config
  echo "== $2 build ($1)"
  scripts/build.sh --all "$1" "$2"
  rm -rf "$1/test-results"
  ASAN_OPTIONS=detect_leaks=1 ctest --test-dir "$1" --output-on-failure --timeout 300 -j "$(nproc)"
  scripts/skipped_tests.sh "$1" "$2 build"
done
fuzz_seconds=${FUZZ_SECONDS:-30}
if [ "$fuzz_seconds" -gt 0 ]; then
  scripts/fuzz.sh "$fuzz_seconds"
fi

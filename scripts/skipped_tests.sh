#!/usr/bin/env bash
# Reports the tests a ctest run skipped, from the GoogleTest results that
# every test case writes to BUILD_DIR/test-results/ (tests/CMakeLists.txt),
# one file a case, named after its ctest test (a parameterized case's name
# holds slashes: its file lies in subdirectories).
#   scripts/skipped_tests.sh BUILD_DIR [LABEL]
# Run as root (as CI runs), every test can run: a skipped one means part of
# the suite was never exercised, and the exit status is 1. Run as another
# user, the tests that need root (private mount namespaces, device nodes)
# skip; the script lists them with their reasons and exits 0.
set -euo pipefail
results=$1/test-results
label=${2:-$1}

files=()
if [ -d "$results" ]; then
  mapfile -t files < <(find "$results" -type f -name '*.xml' | sort)
fi
if [ ${#files[@]} -eq 0 ]; then
  echo "skipped_tests.sh: no test results in $results" >&2
  exit 1
fi

# One line per skipped test: "<ctest test>: <reason>". GoogleTest writes the
# reason as "file:line&#x0A;message" in the skipped element's attribute.
skipped=$(
  for file in "${files[@]}"; do
    entry=${file#"$results"/}
    awk -v entry="${entry%.xml}" '
      /<skipped / {
        reason = ""
        if (match($0, /message="[^"]*"/)) reason = substr($0, RSTART + 9, RLENGTH - 10)
        sub(/^[^&]*&#x0A;/, "", reason)
        gsub(/&#x0A;/, " ", reason); gsub(/&quot;/, "\"", reason); gsub(/&apos;/, "'\''", reason)
        gsub(/&lt;/, "<", reason); gsub(/&gt;/, ">", reason); gsub(/&amp;/, "\\&", reason)
        if (reason == "") reason = "(no reason given)"
        printf "  %s: %s\n", entry, reason
      }' "$file"
  done
)

if [ -z "$skipped" ]; then
  echo "== $label: no test skipped"
  exit 0
fi
count=$(printf '%s\n' "$skipped" | wc -l)
if [ "$(id -u)" -eq 0 ]; then
  echo "== $label: $count tests skipped although run as root; they never ran:"
  printf '%s\n' "$skipped"
  exit 1
fi
echo "== $label: $count tests skipped, not run as root (they need root and private mount namespaces):"
printf '%s\n' "$skipped"

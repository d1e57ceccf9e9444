#!/usr/bin/env bash
# Runs the README's first command, as a newcomer does, and fails unless it
# ends in quorvik-info's full report of the example board: identity, every
# sensor, CPU, memory, disks, Ethernet, serial ports and power inputs, and no
# reading unavailable. CI runs it on its clean clone:
#   scripts/first_command.sh [OUTPUT_FILE]
set -euo pipefail
cd "$(dirname "$0")/.."
output=${1:-$(mktemp)}

# The first shell block of the README is the command.
command=$(awk '/^```sh$/ { inside = 1; next } inside && /^```$/ { exit } inside { print }' README.md)
if [ -z "$command" ]; then
  echo "first_command: README.md has no sh block" >&2
  exit 1
fi
echo "first_command: running: $command"
bash -c "$command" | tee "$output"

failed=0
for heading in "Board identity" Sensors CPU Memory Disks Ethernet "Serial ports" "Power inputs"; do
  if ! grep -qx "$heading" "$output"; then
    echo "first_command: the report has no section $heading" >&2
    failed=1
  fi
done
for reading in "Model" "BIOS version" "Serial number" "Voltage cpu" "Temperature cpu" "Fan 0" \
    "CPU usage" "Memory total" "Disk /dev/" "eth0 usage" "Serial port 0 in use" "Power input 1"; do
  if ! grep -q "^  $reading" "$output"; then
    echo "first_command: the report has no reading $reading" >&2
    failed=1
  fi
done
if grep -n "unavailable" "$output" >&2; then
  echo "first_command: readings of the example board are unavailable (above)" >&2
  failed=1
fi
exit $failed

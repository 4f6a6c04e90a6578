#!/usr/bin/env bash
# The stand-in server on a fresh machine: installs what is missing, builds the
# plain tree, and runs the example configuration on the demo world over one
# simulated day (with the example script's kill and reloads). Extra arguments
# go to drovekeeper-sim.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build

# A fixed start and zone give the same run on every machine.
export TZ="${TZ:-UTC}"
mkdir -p build/run
./build/bin/drovekeeper-sim \
  --config examples/config.json \
  --script examples/script.json \
  --start "2024-03-01 06:00:00" \
  --minutes 1440 \
  --events build/run/events.jsonl \
  --report build/run/report.html \
  "$@"
echo
echo "Events (JSON Lines): build/run/events.jsonl"
echo "Report (HTML): build/run/report.html"

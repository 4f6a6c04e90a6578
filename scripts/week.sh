#!/usr/bin/env bash
# Runs the reliability tests (the simulated week, RCON under abuse, unload
# under load) in one build tree and prints the figures they report.
# Usage: week.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j "$(nproc)" --target week_test rcon_abuse_test invariants_test
export TZ=UTC
"$dir"/bin/invariants_test --gtest_brief=1
"$dir"/bin/week_test
"$dir"/bin/rcon_abuse_test

#!/usr/bin/env bash
# The whole test suite on a fresh machine: installs what is missing, builds the
# plain tree, the sanitizer tree and the Windows tree, runs ctest in each, and
# fuzzes.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

bash scripts/build.sh build
(cd build && ctest --output-on-failure -j "$(nproc)")

bash scripts/build.sh build-asan -DDROVEKEEPER_SANITIZE=ON -DDROVEKEEPER_BUILD_BENCH=OFF
(cd build-asan && ctest --output-on-failure -j "$(nproc)")

# The Windows build (MinGW-w64) and its tests under Wine; skips itself when
# neither can be installed.
bash scripts/windows.sh

# Bounded fuzzing of every fuzz target (FUZZ_SECONDS each); skips itself without clang++.
bash scripts/fuzz.sh

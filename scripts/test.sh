#!/usr/bin/env bash
# The whole test suite on a fresh machine: installs what is missing, builds the
# plain tree (g++), the sanitizer tree (clang++) and the Windows tree (MinGW
# g++), each failing on any warning, runs ctest in each, and fuzzes.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

bash scripts/build.sh build -DDROVEKEEPER_WERROR=ON
(cd build && ctest --output-on-failure -j "$(nproc)")

# The second compiler: every test also runs built by clang.
bash scripts/build.sh build-asan -DCMAKE_CXX_COMPILER=clang++ -DDROVEKEEPER_SANITIZE=ON \
  -DDROVEKEEPER_BUILD_BENCH=OFF -DDROVEKEEPER_WERROR=ON
(cd build-asan && ctest --output-on-failure -j "$(nproc)")

# The Windows build (MinGW-w64) and its tests under Wine; skips itself when
# neither can be installed.
bash scripts/windows.sh

# Bounded fuzzing of every fuzz target (FUZZ_SECONDS each); skips itself without clang++.
bash scripts/fuzz.sh

#!/usr/bin/env bash
# The Windows build and its tests: cross-compiles build-win/ with MinGW-w64
# (cmake/mingw-w64.cmake) and runs its tests under Wine through ctest.
# Installs the cross compiler and Wine when missing. When they cannot be
# installed it skips itself with one line, and under CI=true fails instead.
# Usage: windows.sh [setup|build|test] [extra ctest args...]
# (setup installs, build configures and builds, test runs ctest; no step
# word does all three.)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/apt.sh
source scripts/lib/trees.sh

steps=(setup build test)
case "${1:-}" in
  setup|build|test) steps=("$1"); shift ;;
esac

packages=(g++-mingw-w64-x86-64-posix wine64)

setup() { apt_install_or_skip windows "${packages[@]}"; }

need_tools() {
  local missing
  mapfile -t missing < <(apt_missing "${packages[@]}")
  [ ${#missing[@]} -eq 0 ] || skip_stage windows "${missing[*]} not installed (windows.sh setup)"
}

build() {
  need_tools
  configure_tree build-win
  # Only what runs under Wine: the tests and what they start (the
  # plug-in DLL, the checker), never a program no test runs.
  cmake --build build-win -j "$(nproc)"
}

run_tests() {
  need_tools
  # A scratch Wine prefix of the tree's own (the first start creates it), and
  # one Wine server kept up for the whole run so that each program starts fast.
  # The stand-in host is version.dll, a name Wine has a DLL of its own for:
  # native first, so the programs load the one beside them.
  export WINEPREFIX="$PWD/build-win/wineprefix" WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;version=n,b"
  export PATH="/usr/lib/wine:$PATH"
  unset DISPLAY
  # Wine's own services start with the first program and outlive it; started
  # here, they hold no pipe of ctest's open.
  mkdir -p "$WINEPREFIX"
  wineserver -p >/dev/null 2>&1
  trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
  wine64 wineboot --init >/dev/null 2>&1

  (cd build-win && ctest --output-on-failure -j "$(nproc)" "$@")
}

for step in "${steps[@]}"; do
  case "$step" in
    setup) setup ;;
    build) build ;;
    test) run_tests "$@" ;;
  esac
done

#!/usr/bin/env bash
# The web build and its tests: compiles build-web/ with emscripten (the
# module web/drovekeeper-web.js) and runs its differential tests under node
# against the plain tree's drovekeeper-sim and drovekeeper-check, which it
# builds in build/ when they are missing. Installs emscripten when missing.
# When it cannot be installed it skips itself with one line, and under
# CI=true fails instead.
# Usage: web.sh [setup|build|test] [extra ctest args...]
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

packages=(emscripten)
# Emscripten's optimiser needs node to find Debian's acorn module, which a
# node that is not Debian's own does not look for.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

setup() { apt_install_or_skip web "${packages[@]}"; }

need_tools() {
  command -v emcmake >/dev/null || skip_stage web "emscripten not installed (web.sh setup)"
  command -v node >/dev/null || skip_stage web "node not installed"
}

build() {
  need_tools
  # The native programs the module is held to.
  if [ ! -x build/bin/drovekeeper-sim ] || [ ! -x build/bin/drovekeeper-check ] ||
     [ ! -x build/bin/clock_probe ]; then
    configure_tree build  # also a tree configured before clock_probe existed
    cmake --build build -j "$(nproc)" --target drovekeeper-sim drovekeeper-check drovekeeper \
      clock_probe
  fi
  configure_tree build-web
  # Two jobs at most: each emscripten compile takes a lot of memory.
  cmake --build build-web -j 2
}

run_tests() {
  need_tools
  (cd build-web && ctest --output-on-failure -j "$(nproc)" "$@")
}

for step in "${steps[@]}"; do
  case "$step" in
    setup) setup ;;
    build) build ;;
    test) run_tests "$@" ;;
  esac
done

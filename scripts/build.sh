#!/usr/bin/env bash
# Configures and builds one build tree (build/, build-asan/, build-win/ as
# scripts/lib/trees.sh sets them up; another name is a plain tree).
# Usage: build.sh [DIR [extra cmake args...]]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/trees.sh
dir=${1:-build}
shift || true
configure_tree "$dir" "$@"
cmake --build "$dir" -j "$(nproc)"

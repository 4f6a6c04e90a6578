#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, and any
# PACKAGE named, when missing; then the tests' npm packages from their lock
# files. Safe to run again; needs root (or sudo) only when something is missing.
# Usage: setup.sh [PACKAGE...]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/apt.sh

packages=(
  build-essential cmake pkg-config
  nlohmann-json3-dev libspdlog-dev libfmt-dev libxxhash-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libasio-dev libcli11-dev libxxhash-dev
  prometheus-cpp-dev prometheus  # drovekeeper-fleet serve; its test scrapes it with Prometheus
  libfaketime faketime
  clang libclang-rt-14-dev
  zip unzip
  "$@"
)
# Node may come from elsewhere than Debian; only ask Debian when it is absent.
command -v npm >/dev/null || packages+=(nodejs npm)
# The report's browser test; DROVEKEEPER_WITH_BROWSER=0 leaves it out.
if [ "${DROVEKEEPER_WITH_BROWSER:-1}" = 1 ]; then
  packages+=(chromium fonts-wqy-microhei)
fi
apt_install "${packages[@]}"

# The node programs the tests drive (an RCON client, the browser test, the
# configuration schema's validator and language service), from
# their committed lock files.
for lock in tests/*/package-lock.json tests/*/*/package-lock.json; do
  [ -f "$lock" ] || continue
  dir=$(dirname "$lock")
  [ -d "$dir/node_modules" ] && continue
  echo "setup: npm ci in $dir"
  npm ci --prefix "$dir" --no-audit --no-fund --loglevel=error
done

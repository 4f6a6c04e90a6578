#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, when missing.
# Safe to run again; needs root (or sudo) only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  nlohmann-json3-dev libspdlog-dev libfmt-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libasio-dev libcli11-dev
  libfaketime faketime
  clang libclang-rt-14-dev
  zip unzip
)
# Node may come from elsewhere than Debian; only ask Debian when it is absent.
command -v npm >/dev/null || packages+=(nodejs npm)
# The report's browser test; DROVEKEEPER_WITH_BROWSER=0 leaves it out.
if [ "${DROVEKEEPER_WITH_BROWSER:-1}" = 1 ]; then
  packages+=(chromium fonts-wqy-microhei)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The node programs the tests drive (an RCON client, the browser test), from
# their committed lock files.
cd "$(dirname "$0")/.."
for lock in tests/*/package-lock.json tests/*/*/package-lock.json; do
  [ -f "$lock" ] || continue
  dir=$(dirname "$lock")
  [ -d "$dir/node_modules" ] && continue
  echo "setup: npm ci in $dir"
  npm ci --prefix "$dir" --no-audit --no-fund --loglevel=error
done

#!/usr/bin/env bash
# The Windows build and its tests: cross-compiles build-win/ with MinGW-w64
# (cmake/mingw-w64.cmake) and runs its tests under Wine through ctest.
# Installs the cross compiler and Wine when missing, and skips itself with one
# line when they cannot be installed. Usage: windows.sh [extra ctest args...]
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++-mingw-w64-x86-64-posix wine64)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  log=$(mktemp)
  if ! { [ -z "$sudo" ] || sudo -n true 2>/dev/null; } ||
     ! { $sudo apt-get update -qq && $sudo apt-get install -y -qq --no-install-recommends \
           "${missing[@]}"; } >"$log" 2>&1; then
    echo "windows: skipped, cannot install ${missing[*]} (see $log)"
    exit 0
  fi
  rm -f "$log"
fi

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DDROVEKEEPER_BUILD_FUZZ=OFF -DDROVEKEEPER_BUILD_BENCH=OFF -DDROVEKEEPER_WERROR=ON >/dev/null
cmake --build build-win -j "$(nproc)"

# A scratch Wine prefix of the tree's own (the first start creates it), and
# one Wine server kept up for the whole run so that each program starts fast.
# The stand-in host is version.dll, a name Wine has a DLL of its own for:
# native first, so the programs load the one beside them.
export WINEPREFIX="$PWD/build-win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;version=n,b"
export PATH="/usr/lib/wine:$PATH"
unset DISPLAY
# Wine's own services start with the first program and outlive it; started
# here, they hold no pipe of ctest's open.
mkdir -p "$WINEPREFIX"
wineserver -p >/dev/null 2>&1
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wine64 wineboot --init >/dev/null 2>&1

(cd build-win && ctest --output-on-failure -j "$(nproc)" "$@")

#!/usr/bin/env bash
# Release archives laid out as a game server's directory expects them:
#   dist/Drovekeeper-VERSION-linux-x86_64.tar.gz  from build/ (libdrovekeeper.so)
#   dist/Drovekeeper-VERSION-win64.zip            from build-win/ (Drovekeeper.dll)
# each with ZelApi/Plugins/Drovekeeper/{module, config.json, INSTALL.txt}.
# Builds the plug-in in each tree first (the Windows one only where the cross
# compiler is installed: scripts/windows.sh installs it).
# Usage: package.sh [--out DIR] [--no-build]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/dist"
build=1
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out=$2; shift 2 ;;
    --no-build) build=0; shift ;;
    *) echo "usage: package.sh [--out DIR] [--no-build]" >&2; exit 2 ;;
  esac
done
cd "$root"
version=$(sed -n 's/^project(drovekeeper VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
plugin_dir=ZelApi/Plugins/Drovekeeper
mkdir -p "$out"
out=$(cd "$out" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# stage_tree NAME MODULE_FILE STRIP PLATFORM KEEP
stage_tree() {
  local dir="$stage/$1/$plugin_dir"
  mkdir -p "$dir"
  "$3" --strip-unneeded -o "$dir/$(basename "$2")" "$2"
  cp examples/config.json "$dir/config.json"
  sed -e "s|@VERSION@|$version|" -e "s|@PLATFORM@|$4|" -e "s|@MODULE@|$(basename "$2")|" \
      -e "s|@KEEP@|$5|" packaging/INSTALL.txt >"$dir/INSTALL.txt"
}

if [ "$build" = 1 ]; then
  [ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j "$(nproc)" --target drovekeeper
fi
linux_module=build/lib/libdrovekeeper.so
if [ -f "$linux_module" ]; then
  stage_tree linux "$linux_module" strip "Linux x86-64" "tar --skip-old-files -xzf ARCHIVE"
  linux_archive="$out/Drovekeeper-$version-linux-x86_64.tar.gz"
  tar -C "$stage/linux" --owner=0 --group=0 -czf "$linux_archive" ZelApi
  echo "package: $linux_archive"
else
  echo "package: no $linux_module; no Linux archive"
fi

if command -v x86_64-w64-mingw32-g++-posix >/dev/null && [ "$build" = 1 ]; then
  [ -f build-win/CMakeCache.txt ] ||
    cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
      -DCMAKE_BUILD_TYPE=Release -DDROVEKEEPER_BUILD_FUZZ=OFF -DDROVEKEEPER_BUILD_BENCH=OFF >/dev/null
  cmake --build build-win -j "$(nproc)" --target drovekeeper
fi
windows_module=build-win/lib/Drovekeeper.dll
if [ ! -f "$windows_module" ]; then
  echo "package: no $windows_module (scripts/windows.sh builds it); no Windows archive"
  exit 0
fi
command -v zip >/dev/null || { echo "package: zip is missing" >&2; exit 1; }
stage_tree win64 "$windows_module" x86_64-w64-mingw32-strip "Windows x64" "unzip -n ARCHIVE"
windows_archive="$out/Drovekeeper-$version-win64.zip"
rm -f "$windows_archive"
(cd "$stage/win64" && zip -qr -X "$windows_archive" ZelApi)
echo "package: $windows_archive"

#!/usr/bin/env bash
# Release archives laid out as a game server's directory expects them:
#   dist/Drovekeeper-VERSION-linux-x86_64.tar.gz  from build/
#   dist/Drovekeeper-VERSION-win64.zip            from build-win/
# each with ZelApi/Plugins/Drovekeeper/{module, checker, drovekeeper-fleet,
# drovekeeper-preview.html, config.example.json, config.schema.json,
# configuration.md, status.md, servers.example.json, fleet.md, INSTALL.txt},
# and in the Linux one the module drovekeeper-fleet serve loads: no
# config.json, so that unpacking never replaces the operator's. The Windows
# text files have CRLF line ends. Builds the module and the programs in each
# tree first (the Windows one only where the cross compiler is installed:
# scripts/windows.sh installs it), and the preview page in build-web/
# (scripts/web.sh build), which both archives then carry; with --no-build an
# archive carries the page when build-web/ has it.
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
source scripts/lib/trees.sh
version=$(sed -n 's/^project(drovekeeper VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
plugin_dir=ZelApi/Plugins/Drovekeeper
preview=build-web/web/drovekeeper-preview.html
targets=(--target drovekeeper --target drovekeeper-check --target drovekeeper-fleet)
mkdir -p "$out"
out=$(cd "$out" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
# The build tree's run path goes, as cmake --install takes it off.
echo 'file(RPATH_REMOVE FILE "${file}")' >"$stage/rpath.cmake"

# stage_tree NAME TREE MODULE CHECKER FLEET STRIP: the archive's files from TREE.
stage_tree() {
  local dir="$stage/$1/$plugin_dir" file
  mkdir -p "$dir"
  for file in "$3" "$4" "$5"; do
    "$6" --strip-unneeded -o "$dir/$(basename "$file")" "$2/$file"
  done
  cp examples/config.json "$dir/config.example.json"
  cp docs/config.schema.json "$dir/config.schema.json"
  cp docs/configuration.md "$dir/configuration.md"
  cp docs/status.md "$dir/status.md"
  cp examples/servers.json "$dir/servers.example.json"
  cp docs/fleet.md "$dir/fleet.md"
  cp "$2/packaging/INSTALL.txt" "$dir/INSTALL.txt"
  if [ -f "$preview" ]; then cp "$preview" "$dir/drovekeeper-preview.html"; fi
}

if [ "$build" = 1 ]; then
  bash scripts/web.sh build
  [ -f "$preview" ] || { echo "package: scripts/web.sh build made no $preview" >&2; exit 1; }
fi
[ -f "$preview" ] || echo "package: no $preview (scripts/web.sh build makes it); the archives go without the preview page"
if [ "$build" = 1 ]; then
  [ -f build/CMakeCache.txt ] || configure_tree build
  cmake --build build -j "$(nproc)" "${targets[@]}"
fi
if [ -f build/lib/libdrovekeeper.so ] && [ -f build/bin/drovekeeper-check ] &&
   [ -f build/bin/drovekeeper-fleet ]; then
  stage_tree linux build lib/libdrovekeeper.so bin/drovekeeper-check bin/drovekeeper-fleet strip
  strip --strip-unneeded -o "$stage/linux/$plugin_dir/drovekeeper-fleet-serve.so" \
    build/lib/drovekeeper-fleet-serve.so
  for file in libdrovekeeper.so drovekeeper-check drovekeeper-fleet drovekeeper-fleet-serve.so; do
    cmake -D "file=$stage/linux/$plugin_dir/$file" -P "$stage/rpath.cmake"
  done
  linux_archive="$out/Drovekeeper-$version-linux-x86_64.tar.gz"
  tar -C "$stage/linux" --owner=0 --group=0 -czf "$linux_archive" ZelApi
  echo "package: $linux_archive"
else
  echo "package: no module, checker and fleet program in build/; no Linux archive"
fi

if command -v x86_64-w64-mingw32-g++-posix >/dev/null && [ "$build" = 1 ]; then
  [ -f build-win/CMakeCache.txt ] || configure_tree build-win
  cmake --build build-win -j "$(nproc)" "${targets[@]}"
fi
if [ ! -f build-win/lib/Drovekeeper.dll ] || [ ! -f build-win/bin/drovekeeper-check.exe ] ||
   [ ! -f build-win/bin/drovekeeper-fleet.exe ]; then
  echo "package: no module, checker and fleet program in build-win/ (scripts/windows.sh builds them); no Windows archive"
  exit 0
fi
command -v zip >/dev/null || { echo "package: zip is missing" >&2; exit 1; }
stage_tree win64 build-win lib/Drovekeeper.dll bin/drovekeeper-check.exe bin/drovekeeper-fleet.exe \
  x86_64-w64-mingw32-strip
for file in INSTALL.txt config.example.json config.schema.json configuration.md status.md \
    servers.example.json fleet.md; do
  sed -i 's/\r*$/\r/' "$stage/win64/$plugin_dir/$file"
done
windows_archive="$out/Drovekeeper-$version-win64.zip"
rm -f "$windows_archive"
(cd "$stage/win64" && zip -qr -X "$windows_archive" ZelApi)
echo "package: $windows_archive"

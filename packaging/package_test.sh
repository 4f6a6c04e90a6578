#!/usr/bin/env bash
# Writes the release archives from the built trees (scripts/package.sh
# --no-build) into a scratch folder, unpacks each and checks the layout a
# server's directory expects. Exits 77 (skipped) when the Windows archive
# cannot be made here: no build-win/ or no zip.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
version=$(sed -n 's/^project(drovekeeper VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
plugin_dir=ZelApi/Plugins/Drovekeeper

fail() { echo "FAIL: $*" >&2; exit 1; }

# check_layout DIR MODULE MAGIC: exactly the module, config.json and
# INSTALL.txt, the example configuration unchanged.
check_layout() {
  local files expected
  files=$(cd "$1" && find . -type f | sort)
  expected=$(printf '%s\n' "./$plugin_dir/$2" "./$plugin_dir/INSTALL.txt" \
    "./$plugin_dir/config.json" | sort)
  [ "$files" = "$expected" ] || fail "layout of $1: $files"
  cmp -s "$1/$plugin_dir/config.json" "$root/examples/config.json" || fail "config.json differs"
  grep -q "Drovekeeper $version" "$1/$plugin_dir/INSTALL.txt" || fail "INSTALL.txt without version"
  [ "$(head -c "${#3}" "$1/$plugin_dir/$2")" = "$3" ] || fail "$2 is not a module"
}

skip=""
command -v zip >/dev/null && command -v unzip >/dev/null || skip="no zip/unzip"
[ -f "$root/build-win/lib/Drovekeeper.dll" ] || skip="no Windows build (scripts/windows.sh)"

bash "$root/scripts/package.sh" --no-build --out "$work/dist" >/dev/null
linux="$work/dist/Drovekeeper-$version-linux-x86_64.tar.gz"
if [ -f "$root/build/lib/libdrovekeeper.so" ]; then
  [ -f "$linux" ] || fail "no $linux"
  mkdir "$work/linux"
  tar -C "$work/linux" -xzf "$linux"
  check_layout "$work/linux" libdrovekeeper.so $'\x7fELF'
  readelf -S "$work/linux/$plugin_dir/libdrovekeeper.so" | grep -q '\.symtab' &&
    fail "libdrovekeeper.so is not stripped"
  echo "linux archive: ok"
fi
if [ -n "$skip" ]; then
  echo "Windows archive not checked: $skip"
  exit 77
fi
windows="$work/dist/Drovekeeper-$version-win64.zip"
[ -f "$windows" ] || fail "no $windows"
mkdir "$work/win64"
unzip -q "$windows" -d "$work/win64"
check_layout "$work/win64" Drovekeeper.dll MZ
echo "windows archive: ok"

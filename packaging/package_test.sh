#!/usr/bin/env bash
# Writes the release archives from the built trees (scripts/package.sh
# --no-build) into a scratch folder, unpacks each and checks what a server's
# directory gets: the layout (no config.json among it), the module's and the
# checker's dependencies, the line ends of the text files and what
# INSTALL.txt tells. Exits 77 (skipped) when the Windows archive cannot be
# made here: no build-win/ or no zip.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
version=$(sed -n 's/^project(drovekeeper VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
plugin_dir=ZelApi/Plugins/Drovekeeper

fail() { echo "FAIL: $*" >&2; exit 1; }

# check_layout DIR MODULE CHECKER MAGIC FLEET [MORE...]: exactly these files
# (MORE: further binaries), the text ones the repository's (line ends aside),
# the programs stripped binaries.
check_layout() {
  local files expected dir="$1/$plugin_dir" name
  files=$(cd "$1" && find . -type f | sort)
  expected=$(printf "./$plugin_dir/%s\n" "$2" "$3" "$5" "${@:6}" INSTALL.txt config.example.json \
    config.schema.json configuration.md status.md servers.example.json fleet.md \
    ${preview:+drovekeeper-preview.html} | sort)
  [ "$files" = "$expected" ] || fail "layout of $1: $files"
  if [ -n "$preview" ]; then
    cmp -s "$dir/drovekeeper-preview.html" "$preview" || fail "drovekeeper-preview.html differs from $preview"
  fi
  tr -d '\r' <"$dir/config.example.json" | cmp -s - "$root/examples/config.json" ||
    fail "config.example.json differs from examples/config.json"
  for name in config.schema.json configuration.md status.md fleet.md; do
    tr -d '\r' <"$dir/$name" | cmp -s - "$root/docs/$name" || fail "$name differs from docs/$name"
  done
  tr -d '\r' <"$dir/servers.example.json" | cmp -s - "$root/examples/servers.json" ||
    fail "servers.example.json differs from examples/servers.json"
  for name in "$2" "$3" "$5" "${@:6}"; do
    [ "$(head -c "${#4}" "$dir/$name")" = "$4" ] || fail "$name is not a program or module"
  done
  # What a first install and a host that differs need to be told.
  for said in "Drovekeeper $version" "config.example.json ZelApi" "无法打开文件配置config.json" \
      "host/zelapi.h" "host built with a compatible" "-DDROVEKEEPER_BUILD_TESTS=OFF" \
      "spdlog:    1." "$3" "Drovekeeper.reload" "Drovekeeper.status" "status.md" "config.schema.json" \
      "must be rebuilt" "$5" "fleet.md"; do
    grep -qF -- "$said" "$dir/INSTALL.txt" || fail "INSTALL.txt does not say: $said"
  done
  grep -q '@' "$dir/INSTALL.txt" && fail "INSTALL.txt keeps a placeholder: $(grep '@' "$dir/INSTALL.txt")"
  return 0
}

# only_needs WHAT ALLOWED LISTED: every library LISTED names is in ALLOWED.
only_needs() {
  local lib
  while read -r lib; do
    [ -z "$lib" ] && continue
    grep -qxiF -- "$lib" <<<"$2" || fail "$1 needs $lib"
  done <<<"$3"
}

# The archives carry the preview page when build-web/ has made it.
preview=$root/build-web/web/drovekeeper-preview.html
[ -f "$preview" ] || preview=""

skip=""
command -v zip >/dev/null && command -v unzip >/dev/null || skip="no zip/unzip"
[ -f "$root/build-win/lib/Drovekeeper.dll" ] || skip="no Windows build (scripts/windows.sh)"

bash "$root/scripts/package.sh" --no-build --out "$work/dist" >/dev/null
linux="$work/dist/Drovekeeper-$version-linux-x86_64.tar.gz"
if [ -f "$root/build/lib/libdrovekeeper.so" ]; then
  [ -f "$linux" ] || fail "no $linux"
  mkdir "$work/linux"
  tar -C "$work/linux" -xzf "$linux"
  check_layout "$work/linux" libdrovekeeper.so drovekeeper-check $'\x7fELF' drovekeeper-fleet \
    drovekeeper-fleet-serve.so
  dir="$work/linux/$plugin_dir"
  runtime=$'libstdc++.so.6\nlibm.so.6\nlibgcc_s.so.1\nlibc.so.6\nld-linux-x86-64.so.2'
  for name in libdrovekeeper.so drovekeeper-check drovekeeper-fleet drovekeeper-fleet-serve.so; do
    readelf -S "$dir/$name" | grep -q '\.symtab' && fail "$name is not stripped"
    dynamic=$(readelf -d "$dir/$name")
    grep -qE 'RPATH|RUNPATH' <<<"$dynamic" && fail "$name carries a run path: $dynamic"
    allowed=$runtime
    [ "$name" = libdrovekeeper.so ] && allowed+=$'\nlibzelapi.so'
    [ "$name" = drovekeeper-fleet-serve.so ] &&
      allowed+=$'\nlibprometheus-cpp-pull.so.1.0\nlibprometheus-cpp-core.so.1.0'
    only_needs "$name" "$allowed" "$(sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' <<<"$dynamic")"
  done
  grep -q $'\r' "$dir/INSTALL.txt" "$dir/config.example.json" && fail "CR in a Linux text file"
  # The checker runs from the archive alone, on the example.
  "$dir/drovekeeper-check" "$dir/config.example.json" >/dev/null ||
    fail "drovekeeper-check refuses config.example.json"
  # The fleet program runs from the archive alone, and says why it will not
  # take a servers file that others may read with a password inline.
  cp "$dir/servers.example.json" "$work/servers.json"
  echo x >"$work/desert.password"
  chmod 644 "$work/servers.json"
  ISLAND_RCON_PASSWORD=x "$dir/drovekeeper-fleet" --servers "$work/servers.json" status \
    2>"$work/fleet.err" && fail "drovekeeper-fleet took a servers file others can read"
  grep -q "holds a password and others can read it (mode 0644)" "$work/fleet.err" ||
    fail "drovekeeper-fleet on the example: $(cat "$work/fleet.err")"
  # serve finds its module beside the program.
  echo '[{"name": "here", "host": "127.0.0.1", "port": 9, "password": "x"}]' >"$work/serve.json"
  chmod 600 "$work/serve.json"
  timeout -k 5 -s TERM 3 "$dir/drovekeeper-fleet" --servers "$work/serve.json" serve \
    --listen 127.0.0.1:0 >"$work/serve.out" 2>&1 || true
  grep -q "^serving http://127.0.0.1:" "$work/serve.out" ||
    fail "drovekeeper-fleet serve from the archive: $(cat "$work/serve.out")"
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
check_layout "$work/win64" Drovekeeper.dll drovekeeper-check.exe MZ drovekeeper-fleet.exe
dir="$work/win64/$plugin_dir"
for name in INSTALL.txt config.example.json config.schema.json configuration.md status.md \
    servers.example.json fleet.md; do
  grep -qv $'\r$' "$dir/$name" && fail "$name has a line without CRLF"
done
# Linked -static: beside Windows' own libraries only the host's.
system=$'kernel32.dll\nmsvcrt.dll\nuser32.dll\nadvapi32.dll\nshell32.dll\nws2_32.dll'
imports() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'; }
if command -v x86_64-w64-mingw32-objdump >/dev/null; then
  only_needs Drovekeeper.dll "$system"$'\nversion.dll' "$(imports "$dir/Drovekeeper.dll")"
  only_needs drovekeeper-check.exe "$system" "$(imports "$dir/drovekeeper-check.exe")"
  only_needs drovekeeper-fleet.exe "$system"$'\nmswsock.dll' "$(imports "$dir/drovekeeper-fleet.exe")"
fi
echo "windows archive: ok"

#!/bin/sh
# Installs a build tree into scratch server directories and checks what lands
# where: the module (stripped) and the example configuration by default, an
# operator's config.json kept on a second install, the checker alone on
# request.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR [CMAKE]
set -eu
build="$1"
source="$2"
cmake="${3:-cmake}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

plugin_files='./ZelApi/Plugins/Drovekeeper/config.json
./ZelApi/Plugins/Drovekeeper/libdrovekeeper.so'
own_config='{"SpawnDino": {}, "note": "the operator'"'"'s own"}'

# Default install: exactly the module and the example configuration.
server="$work/server"
plugin_dir="$server/ZelApi/Plugins/Drovekeeper"
"$cmake" --install "$build" --prefix "$server" >"$work/first.log"
files=$(cd "$server" && find . -type f | sort)
[ "$files" = "$plugin_files" ] || fail "installed files:
$files"
cmp -s "$plugin_dir/config.json" "$source/examples/config.json" ||
  fail "config.json is not the example"
if readelf -d "$plugin_dir/libdrovekeeper.so" | grep -F "$build" >/dev/null; then
  fail "the installed module still points into the build tree"
fi
if readelf -S "$plugin_dir/libdrovekeeper.so" | grep -F -e .debug_info -e .symtab >/dev/null; then
  fail "the installed module is not stripped"
fi

# Second install over an operator's configuration: the module is there
# again, the configuration is theirs.
printf '%s\n' "$own_config" >"$plugin_dir/config.json"
rm "$plugin_dir/libdrovekeeper.so"
"$cmake" --install "$build" --prefix "$server" >"$work/second.log"
[ -f "$plugin_dir/libdrovekeeper.so" ] || fail "module not reinstalled"
[ "$(cat "$plugin_dir/config.json")" = "$own_config" ] || fail "existing config.json replaced"
grep -F "Keeping: $plugin_dir/config.json" "$work/second.log" >/dev/null ||
  fail "second install did not say it kept config.json"

# Staged install: the existing configuration is looked for under DESTDIR.
stage="$work/stage"
staged_dir="$stage/srv/game/ZelApi/Plugins/Drovekeeper"
DESTDIR="$stage" "$cmake" --install "$build" --prefix /srv/game >/dev/null
[ -f "$staged_dir/libdrovekeeper.so" ] || fail "staged module missing"
cmp -s "$staged_dir/config.json" "$source/examples/config.json" || fail "staged config.json"
printf '%s\n' "$own_config" >"$staged_dir/config.json"
DESTDIR="$stage" "$cmake" --install "$build" --prefix /srv/game >/dev/null
[ "$(cat "$staged_dir/config.json")" = "$own_config" ] || fail "staged config.json replaced"

# The tools component alone: the checker, runnable from where it lands, and
# the fleet program with the module its serve loads.
tools="$work/tools"
"$cmake" --install "$build" --prefix "$tools" --component tools >/dev/null
[ -x "$tools/bin/drovekeeper-check" ] || fail "drovekeeper-check not installed"
files=$(cd "$tools" && find . -type f | sort)
expected=$(printf '%s\n' ./bin/drovekeeper-check ./bin/drovekeeper-fleet ./lib/drovekeeper-fleet-serve.so)
[ "$files" = "$expected" ] || fail "tools component installed:
$files"
[ ! -e "$tools/ZelApi" ] || fail "the tools component installed the plug-in"
if readelf -d "$tools/bin/drovekeeper-check" | grep -F "$build" >/dev/null; then
  fail "the installed checker still points into the build tree"
fi
"$tools/bin/drovekeeper-check" "$source/examples/config.json" >"$work/check.out" ||
  fail "installed drovekeeper-check failed on the example: $(cat "$work/check.out")"
printf '{"SpawnDino": {"A": 1}}' >"$work/bad.json"
status=0
"$tools/bin/drovekeeper-check" "$work/bad.json" >/dev/null || status=$?
[ "$status" -eq 2 ] || fail "installed drovekeeper-check exit status $status on errors"
status=0
"$tools/bin/drovekeeper-fleet" --servers "$work/none.json" status 2>/dev/null || status=$?
[ "$status" -eq 3 ] || fail "installed drovekeeper-fleet exit status $status without a servers file"

echo "install layout ok"

#!/usr/bin/env bash
# drovekeeper-fleet.exe's status under Wine against the Linux stand-in server
# on loopback, whose table must be the Linux program's, byte for byte.
# Usage: fleet_status_test.sh WINE FLEET_EXE LINUX_TREE SOURCE_DIR
# LINUX_TREE is the plain tree (build/), which the test command builds first.
set -euo pipefail
wine=$1 fleet=$2 tree=$3 source=$4
sim=$tree/bin/drovekeeper-sim
for program in "$sim" "$tree/bin/drovekeeper-fleet"; do
  [ -x "$program" ] || { echo "FAIL: $program is missing: build the plain tree first"; exit 1; }
done

dir=$(mktemp -d)
sim_pid=
cleanup() {
  [ -z "$sim_pid" ] || { kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" || true; }
  rm -rf "$dir"
}
trap cleanup EXIT
mkdir -p "$dir/root/ZelApi/Plugins/Drovekeeper"
cp "$source/examples/config.json" "$dir/root/ZelApi/Plugins/Drovekeeper/"
TZ=UTC "$sim" --root "$dir/root" --rcon-port 0 --rcon-password s3cret >"$dir/sim.out" 2>&1 &
sim_pid=$!
port=
for _ in $(seq 300); do
  port=$(sed -n 's/.*RCON listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$dir/sim.out")
  [ -z "$port" ] || break
  sleep 0.1
done
[ -n "$port" ] || { echo "FAIL: the stand-in server did not listen"; cat "$dir/sim.out"; exit 1; }

printf 's3cret\n' >"$dir/island.pw"
printf '[{"name": "island", "host": "127.0.0.1", "port": %s, "password_file": "island.pw"}]\n' \
  "$port" >"$dir/servers.json"
cd "$dir"
set +e
"$wine" "$fleet" --timeout 30 status >windows.out 2>windows.err
windows_status=$?
if [ "$windows_status" -ne 0 ] && [ ! -s windows.out ] && [ ! -s windows.err ]; then
  # The program always prints a server line or why not; nothing at all is
  # Wine failing to start it, which WINEDEBUG=-all keeps quiet. Once more.
  echo "note: Wine started nothing (exit status $windows_status); starting it once more"
  "$wine" "$fleet" --timeout 30 status >windows.out 2>windows.err
  windows_status=$?
fi
"$tree/bin/drovekeeper-fleet" --timeout 30 status >linux.out 2>&1
set -e
tr -d '\r' <windows.out >windows.txt

failed=0
fail() { echo "FAIL: $*"; failed=1; }
[ "$windows_status" -eq 0 ] || fail "exit status $windows_status, not 0"
grep -q '^island: .* UTC (UTC+00:00); file 4d99523656dd; ' windows.txt ||
  fail "no server line with the example file's fingerprint"
# The table, from the blank line on, as the Linux program prints it.
diff <(sed '1,/^$/d' linux.out) <(sed '1,/^$/d' windows.txt) || fail "the tables differ"
grep -q '^SpawnDinoX Evening Cragwing ' windows.txt || fail "no row of the example's clock entry"
if [ "$failed" -ne 0 ]; then
  echo "--- Windows output:"; cat windows.txt windows.err
  exit 1
fi
cat windows.txt
echo "drovekeeper-fleet.exe status: the same table as on Linux"

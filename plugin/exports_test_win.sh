#!/bin/sh
# Fails when the DLL exports anything, or does not import the host's
# functions from version.dll. Usage: exports_test_win.sh OBJDUMP DLL
set -eu
objdump="$1"
dll="$2"
[ -f "$dll" ] || { echo "missing DLL: $dll" >&2; exit 1; }
headers=$("$objdump" -p "$dll")
# An export table, if the linker wrote one at all, must name nothing.
names=$(printf '%s\n' "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed 1d)
if [ -n "$names" ]; then
  echo "exported names:" >&2
  echo "$names" >&2
  exit 1
fi
printf '%s\n' "$headers" | grep -q 'DLL Name: version.dll' || {
  echo "$dll does not import from version.dll" >&2
  exit 1
}
echo "no exports in $dll; imports from version.dll"

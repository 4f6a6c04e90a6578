#!/bin/sh
# Fails when the module's dynamic symbol table defines any function.
set -eu
module="$1"
[ -f "$module" ] || { echo "missing module: $module" >&2; exit 1; }
functions=$(nm -D --defined-only "$module" | awk '$2 ~ /^[TtWwIi]$/ { print $3 }')
if [ -n "$functions" ]; then
  echo "exported functions:" >&2
  echo "$functions" >&2
  exit 1
fi
echo "no exported functions in $module"

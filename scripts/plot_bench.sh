#!/usr/bin/env bash
# Draws the run-cost scaling curve from drovekeeper-bench's JSON output.
# Usage: scripts/plot_bench.sh RESULTS.json OUT.png   (needs jq and gnuplot)
set -euo pipefail
json=$1
png=$2
here=$(dirname "$0")
data=$(mktemp)
trap 'rm -f "$data"' EXIT

# One row per actor count: CPU ms of a run, or NaN where not measured.
for a in 10000 100000 1000000; do
  row="$a"
  for key in "1 0 0" "10 0 0" "100 0 0" "100 1 0" "100 0 1"; do
    set -- $key
    name="BM_Run/actors:$a/entries:$1/spawn:$2/per_entry:$3"
    v=$(jq -r --arg n "$name" '[.benchmarks[] | select(.name == $n)
          | .cpu_time * ({"ns": 1e-6, "us": 1e-3, "ms": 1, "s": 1e3}[.time_unit])] | first // "NaN"' "$json")
    row="$row $v"
  done
  echo "$row"
done >"$data"

gnuplot -e "datafile='$data'; outfile='$png'" "$here/plot_bench.gp"

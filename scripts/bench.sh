#!/usr/bin/env bash
# Builds the Release tree build-bench/, runs the timer benchmarks and a
# simulated day of the example configuration, writes docs/bench/results.json,
# docs/bench/summary.md and docs/bench/scaling.png, and checks the goals.
# Usage: scripts/bench.sh [extra benchmark flags...]   Exit status 1 if a goal fails.
set -euo pipefail
cd "$(dirname "$0")/.."

# Only the benchmarks need these: JSON queries and the plot.
bash scripts/setup.sh jq gnuplot-nox

dir=build-bench
out=docs/bench
mkdir -p "$out"
# At -O3 (cmake/warnings.cmake leaves out g++ 12's misreports there).
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O3 -DNDEBUG" >/dev/null
cmake --build "$dir" -j "$(nproc)" --target drovekeeper-bench drovekeeper-sim drovekeeper

echo "== timer benchmarks (this takes a few minutes)"
"$dir/bin/drovekeeper-bench" --benchmark_out="$out/results.json" --benchmark_out_format=json "$@"

echo "== a simulated day of examples/config.json over the demo world (best of 3)"
best=""
for _ in 1 2 3; do
  start=$(date +%s.%N)
  "$dir/bin/drovekeeper-sim" --config examples/config.json --minutes 1440 \
    --start "2026-01-01 00:00:00" >/dev/null
  end=$(date +%s.%N)
  secs=$(awk -v a="$start" -v b="$end" 'BEGIN{print b-a}')
  best=$(awk -v a="$secs" -v b="$best" 'BEGIN{print (b=="" || a<b) ? a : b}')
done
echo "simulated day: ${best} s"

bash scripts/plot_bench.sh "$out/results.json" "$out/scaling.png"

# CPU time in milliseconds of one benchmark, by name.
j=$out/results.json
cpu() {
  jq -r --arg n "$1" '.benchmarks[] | select(.name == $n and (.run_type // "iteration") == "iteration")
    | .cpu_time * ({"ns": 1e-6, "us": 1e-3, "ms": 1, "s": 1e3}[.time_unit]) ' "$j" | head -1
}
# The quietest of a benchmark's repetitions, in nanoseconds.
cpu_min() {
  jq -r --arg n "$1" '[.benchmarks[] | select((.name | split("/")[0]) == $n
    and (.run_type // "iteration") == "iteration") | .cpu_time] | min' "$j"
}
field() {
  jq -r --arg n "$1" --arg f "$2" '.benchmarks[] | select(.name == $n) | .[$f]' "$j" | head -1
}
run() { echo "BM_Run/actors:$1/entries:$2/spawn:$3/per_entry:$4"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.3f", a/b}'; }
# A figure that is not a number (a benchmark missing from the results) fails.
le() { awk -v a="$1" -v b="$2" 'BEGIN{exit !(a ~ /^-?[0-9.]+$/ && a + 0 <= b + 0)}'; }

ns_per_actor() { awk -v ms="$1" -v a="$2" 'BEGIN{printf "%.1f", ms * 1e6 / a}'; }

summary=$out/summary.md
{
  echo "| actors | due entries | held: tally (ms) | held: per entry (ms) | spawning: tally (ms) | spawning: per entry (ms) | spawning / held | held: ns per actor | plug-in allocations per held run |"
  echo "|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
  for a in 10000 100000 1000000; do
    for e in 1 10 100; do
      hp="-"; sp="-"
      if [ "$a" -le 100000 ]; then
        hp=$(printf "%.2f" "$(cpu "$(run $a $e 0 1)")")
        sp=$(printf "%.2f" "$(cpu "$(run $a $e 1 1)")")
      fi
      held=$(cpu "$(run $a $e 0 0)")
      spawning=$(cpu "$(run $a $e 1 0)")
      printf "| %s | %s | %.2f | %s | %.2f | %s | %s | %s | %s |\n" "$a" "$e" \
        "$held" "$hp" "$spawning" "$sp" "$(ratio "$spawning" "$held")" \
        "$(ns_per_actor "$held" "$a")" "$(field "$(run $a $e 0 0)" allocs_per_run)"
    done
  done
} >"$summary"
cat "$summary"

echo
echo "== goals"
failed=0
goal() {  # name, value, limit, text
  if le "$2" "$3"; then verdict=PASS; else verdict=FAIL; failed=1; fi
  printf "%-4s %-58s %10s (limit %s)\n" "$verdict" "$4" "$2" "$3" | tee -a "$summary.goals"
}
: >"$summary.goals"

goal gate "$(ratio "$(cpu_min BM_GateClosed)" "$(cpu_min BM_BareClockRead)")" 1.05 \
  "gate-closed call / bare clock read"
for a in 10000 100000 1000000; do
  goal entries "$(ratio "$(cpu "$(run $a 100 0 0)")" "$(cpu "$(run $a 1 0 0)")")" 2.0 \
    "held run, 100 / 1 due entries, $a actors"
done
for e in 1 10 100; do
  goal actors "$(ratio "$(cpu "$(run 1000000 $e 0 0)")" "$(cpu "$(run 10000 $e 0 0)")")" 150 \
    "held run, 1,000,000 / 10,000 actors, $e entries (linear: 100)"
done
for a in 100000 1000000; do
  for e in 10 100; do
    goal spawn_held "$(ratio "$(cpu "$(run $a $e 1 0)")" "$(cpu "$(run $a $e 0 0)")")" 1.25 \
      "spawning / held run, $e entries, $a actors"
  done
done
tally=0; fresh=0
for a in 10000 100000; do
  for e in 1 10 100; do
    tally=$(awk -v s="$tally" -v t="$(cpu "$(run $a $e 1 0)")" 'BEGIN{print s+t}')
    fresh=$(awk -v s="$fresh" -v t="$(cpu "$(run $a $e 1 1)")" 'BEGIN{print s+t}')
  done
done
goal spawning "$(ratio "$tally" "$fresh")" 1.10 \
  "spawning runs up to 100,000 actors, tally / per entry"
big=$(field "$(run 1000000 100 0 0)" allocs_per_run)
small=$(field "$(run 10000 100 0 0)" allocs_per_run)
goal allocations "$(awk -v a="$big" -v b="$small" 'BEGIN{printf "%.0f", a-b}')" 0 \
  "plug-in allocations per held run, 1,000,000 minus 10,000 actors"
big=$(field "$(run 1000000 100 1 0)" allocs_per_run)
small=$(field "$(run 10000 100 1 0)" allocs_per_run)
goal allocations "$(awk -v a="$big" -v b="$small" 'BEGIN{printf "%.0f", a-b}')" 0 \
  "plug-in allocations per spawning run, 1,000,000 minus 10,000 actors"
goal sim "$(printf "%.2f" "$best")" 5 "simulated day of the example configuration (s)"
echo "(for reference: held run at 100,000 actors and 100 entries is $(ratio \
  "$(cpu "$(run 100000 100 0 1)")" "$(cpu "$(run 100000 100 0 0)")")x faster with the tally;" \
  "simulated minutes per real second: $(awk -v s="$best" 'BEGIN{printf "%.0f", 1440/s}'))"
{ echo; echo '```'; cat "$summary.goals"; echo '```'; } >>"$summary"
rm -f "$summary.goals"
exit $failed

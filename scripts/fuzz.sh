#!/usr/bin/env bash
# Fuzzes every target in fuzz/ with libFuzzer for a bounded time, as many at
# once as there are cores (FUZZ_JOBS). The fuzzers are built in the sanitizer
# tree (build-asan/, clang with ASan and UBSan: scripts/lib/trees.sh). Each
# runs for FUZZ_SECONDS (default 60) over a scratch copy of its seed corpus,
# with mutations seeded by FUZZ_SEED (default 1); the run fails when any
# target crashes, leaving the crashing inputs in build-asan/artifacts/. New
# inputs the fuzzer finds stay in the scratch copy: the repository's corpus
# is never written. Without clang++ it skips itself (fails under CI=true).
#
# Usage: scripts/fuzz.sh [TARGET...]    (default: every target)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/trees.sh

command -v clang++ >/dev/null 2>&1 || skip_stage fuzz "clang++ not found"

seconds=${FUZZ_SECONDS:-60}
# One seed by default, so that a run over the same corpus mutates the same way
# and a failure on one machine can be replayed on another; FUZZ_SEED=0 draws one.
seed=${FUZZ_SEED:-1}
jobs=${FUZZ_JOBS:-$(nproc)}
dir=build-asan

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for source in fuzz/*_fuzzer.cc; do
    name=$(basename "$source" _fuzzer.cc)
    # A target whose code is not in this build (cmake left it out) is skipped.
    if [ -d "fuzz/corpus/$name" ] && grep -q "drovekeeper_fuzz_target($name " fuzz/CMakeLists.txt; then
      targets+=("$name")
    fi
  done
fi
configure_tree "$dir"
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]/%/_fuzzer}"

artifacts="$dir/artifacts"
mkdir -p "$artifacts"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# fuzz_one NAME: one target's run; its output goes to $scratch/NAME.log and
# its exit status to $scratch/NAME.status.
fuzz_one() {
  local name=$1 work="$scratch/$1" dict=() status=0
  mkdir -p "$work"
  cp -R "fuzz/corpus/$name/." "$work/"
  [ -f "fuzz/dict/$name.dict" ] && dict=(-dict="fuzz/dict/$name.dict")
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$dir/bin/${name}_fuzzer" "$work" "${dict[@]}" -max_total_time="$seconds" -seed="$seed" \
    -timeout=30 -rss_limit_mb=4096 -max_len=16384 -print_final_stats=1 \
    -artifact_prefix="$artifacts/$name-" >"$scratch/$name.log" 2>&1 || status=$?
  echo "$status" >"$scratch/$name.status"
}

# JOBS targets at a time; the reports follow in the targets' order.
running=0
for name in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  echo "fuzz: $name for ${seconds}s, seed $seed"
  fuzz_one "$name" &
  running=$((running + 1))
done
wait

failed=()
for name in "${targets[@]}"; do
  if [ "$(cat "$scratch/$name.status" 2>/dev/null)" != 0 ]; then
    echo "fuzz: $name failed:"
    tail -n 60 "$scratch/$name.log"
    failed+=("$name")
  else
    echo "fuzz: $name: $(grep -E "^stat::(number_of_executed_units|new_units_added)" \
      "$scratch/$name.log" | tr -s ' \n' ' ')"
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: crashes in ${failed[*]}; inputs in $artifacts/"
  exit 1
fi
echo "fuzz: ${#targets[@]} targets clean"

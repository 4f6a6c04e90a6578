#!/usr/bin/env bash
# Fuzzes every target in fuzz/ with libFuzzer for a bounded time. Needs
# clang++ (skipped without it). Builds a separate tree (build-fuzz) with
# clang and ASan+UBSan, runs each target for FUZZ_SECONDS (default 60) over a
# scratch copy of its seed corpus, with mutations seeded by FUZZ_SEED (default
# 1), and fails when any target crashes; the crashing inputs are left in
# build-fuzz/artifacts/. New inputs the fuzzer
# finds stay in the scratch copy: the repository's corpus is never written.
#
# Usage: scripts/fuzz.sh [TARGET...]    (default: every target)
set -euo pipefail
cd "$(dirname "$0")/.."

cxx=${FUZZ_CXX:-clang++}
if ! command -v "$cxx" >/dev/null 2>&1; then
  echo "fuzz: $cxx not found, skipped"
  exit 0
fi

seconds=${FUZZ_SECONDS:-60}
# One seed by default, so that a run over the same corpus mutates the same way
# and a failure on one machine can be replayed on another; FUZZ_SEED=0 draws one.
seed=${FUZZ_SEED:-1}
dir=${FUZZ_BUILD_DIR:-build-fuzz}
sanitize="-fsanitize=address,undefined"
# Game functions are called through addresses looked up by name, typed as the
# plug-in declares them; the stand-in game defines them over its own records.
# clang's function-type check would flag every such call, so it is off.
cxxflags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize=function"
cxxflags+=" -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_CXX_FLAGS="$cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitize" -DCMAKE_SHARED_LINKER_FLAGS="$sanitize" \
  -DDROVEKEEPER_BUILD_TESTS=OFF -DDROVEKEEPER_BUILD_BENCH=OFF -DDROVEKEEPER_FUZZ_ENGINE=ON >/dev/null

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
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]/%/_fuzzer}"

artifacts="$dir/artifacts"
mkdir -p "$artifacts"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failed=()
for name in "${targets[@]}"; do
  work="$scratch/$name"
  mkdir -p "$work"
  cp -R "fuzz/corpus/$name/." "$work/"
  dict=()
  [ -f "fuzz/dict/$name.dict" ] && dict=(-dict="fuzz/dict/$name.dict")
  echo "fuzz: $name for ${seconds}s, seed $seed"
  if ! UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      "$dir/bin/${name}_fuzzer" "$work" "${dict[@]}" -max_total_time="$seconds" -seed="$seed" -timeout=30 \
      -rss_limit_mb=4096 -max_len=16384 -print_final_stats=1 \
      -artifact_prefix="$artifacts/$name-" >"$scratch/$name.log" 2>&1; then
    tail -n 60 "$scratch/$name.log"
    failed+=("$name")
  else
    grep -E "^stat::(number_of_executed_units|new_units_added)" "$scratch/$name.log" || true
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: crashes in ${failed[*]}; inputs in $artifacts/"
  exit 1
fi
echo "fuzz: ${#targets[@]} targets clean"

#!/usr/bin/env bash
# The whole test suite on a fresh machine: installs what is missing, builds the
# plain tree (g++), the sanitizer tree (clang++, with the fuzz targets), the
# Windows tree (MinGW g++) and the web tree (emscripten), each failing on any
# warning, runs ctest in each (the real-time test in the plain tree only,
# beside the builds that follow it: it sleeps for minutes), and fuzzes every
# target.
# At its end, also when a stage fails, it prints one line per stage with its
# minutes. Under CI=true a stage that cannot run is a failure, not a skip.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/trees.sh

jobs=$(nproc)
timings=()
real_time_pid=""
current=""
minutes() {
  awk -v n="$1" -v s=$((SECONDS - $2)) 'BEGIN{printf "stage %-18s %5.1f min\n", n, s / 60}'
}
stage_start=$SECONDS
report() {
  local status=$?
  [ -n "$current" ] && timings+=("$(minutes "$current" "$stage_start") (failed)")
  [ -n "$real_time_pid" ] && kill "$real_time_pid" 2>/dev/null
  printf '%s\n' "${timings[@]}" "$(minutes total 0)"
  exit "$status"
}
trap report EXIT
# stage NAME COMMAND...: runs COMMAND as the stage NAME and notes its minutes.
stage() {
  current=$1
  stage_start=$SECONDS
  shift
  "$@"
  timings+=("$(minutes "$current" "$stage_start")")
  current=""
}

build_tree() { configure_tree "$1" && cmake --build "$1" -j "$jobs"; }
ctest_in() { local dir=$1; shift; (cd "$dir" && ctest --output-on-failure -j "$jobs" "$@"); }

# The Debian and npm packages of every tree, the Windows and web trees' too,
# in one apt run (each script's own setup then finds nothing missing).
setup() {
  bash scripts/setup.sh g++-mingw-w64-x86-64-posix wine64 emscripten &&
    bash scripts/windows.sh setup && bash scripts/web.sh setup
}
stage setup setup

stage "plain build" build_tree build
# The real-time test sleeps for three minutes of wall time and needs no CPU
# to speak of: it runs in the background while the next stages build, and the
# stage "real-time test" waits for it and shows its output.
real_time_log=build/real_time_test.log
ctest_in build -L real_time >"$real_time_log" 2>&1 &
real_time_pid=$!
real_time_wait() {
  local status=0
  wait "$real_time_pid" || status=$?
  real_time_pid=""
  if [ "$status" -ne 0 ]; then cat "$real_time_log"; return "$status"; fi
  grep -E "tests passed|Total Test time" "$real_time_log"
}
stage "plain tests" ctest_in build -LE real_time

# The second compiler: every test also runs built by clang, but the
# real-time one (minutes of sleeping, the same in every tree).
stage "sanitizer build" build_tree build-asan
stage "sanitizer tests" ctest_in build-asan -LE real_time
stage "real-time test" real_time_wait

stage "windows build" bash scripts/windows.sh build
stage "windows tests" bash scripts/windows.sh test

# The plug-in, the stand-in and the checker in WebAssembly, held to the plain
# tree's programs under node, and the preview page in headless Chromium.
stage "web build" bash scripts/web.sh build
stage "web tests" bash scripts/web.sh test

# Bounded fuzzing of every fuzz target (FUZZ_SECONDS each), built above.
stage fuzz bash scripts/fuzz.sh

# The build trees of the test command, each configured here only. Sourced,
# from the repository's root:
#   configure_tree DIR [extra cmake args...]
# build/       g++, the plain tree (optimised as RelWithDebInfo, without debug
#              information: it is a third of the compile time and no test
#              reads it)
# build-asan/  clang++ with ASan, UBSan and the libFuzzer targets (line
#              tables only, all a sanitizer's report needs)
# build-win/   MinGW-w64 g++ (Release at -O2), its tests run under Wine
# build-web/   emscripten (emcmake, -O2), its tests held against build/bin's
#              programs under node
# Each fails on any warning. Another DIR is a plain tree of that name.

configure_tree() {
  local dir=$1
  shift
  local args=(-DDROVEKEEPER_WERROR=ON) wrapper=()
  # The four trees below compile each library's sources eight to a unit: the
  # sources of a library share most of their template code, which a unit
  # generates once (the plain tree builds in three quarters of the time).
  case "$dir" in
    build|build-asan|build-win|build-web) args+=(-DCMAKE_UNITY_BUILD=ON) ;;
  esac
  case "$dir" in
    build-asan)
      args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++
             "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -gline-tables-only -DNDEBUG"
             -DDROVEKEEPER_SANITIZE=ON -DDROVEKEEPER_FUZZ_ENGINE=ON -DDROVEKEEPER_BUILD_BENCH=OFF) ;;
    build-win)
      # -O2 as on Linux: -O3 took a tenth more compile time for no figure
      # that matters to the module.
      args+=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release
             "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG"
             -DDROVEKEEPER_BUILD_FUZZ=OFF -DDROVEKEEPER_BUILD_BENCH=OFF) ;;
    build-web)
      wrapper=(emcmake)
      args+=(-DCMAKE_BUILD_TYPE=Release "-DDROVEKEEPER_NATIVE_BIN=$PWD/build/bin") ;;
    build)
      args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG") ;;
    *)
      args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  esac
  "${wrapper[@]}" cmake -S . -B "$dir" "${args[@]}" "$@" >/dev/null
}

# skip_stage NAME REASON: outside CI a stage that cannot run skips itself with
# one line; under CI=true that line is a failure, so that a green run never
# hides a stage that did not run.
skip_stage() {
  if [ "${CI:-}" = true ]; then
    echo "$1: FAILED: cannot run under CI: $2" >&2
    exit 1
  fi
  echo "$1: skipped, $2"
  exit 0
}

// The failure report shared by the fuzz targets, which both the fuzzing engine
// and the corpus replay see. Only fuzz/ includes this; the scripted clock and
// the resets they share with the tests are in tests/support/.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace fuzz {

// A broken invariant: reported on stderr, then abort() so that libFuzzer keeps
// the input and the replay test fails.
[[noreturn]] inline void Fail(std::string_view what) {
  std::fprintf(stderr, "fuzz check failed: %.*s\n", static_cast<int>(what.size()), what.data());
  std::fflush(stderr);
  std::abort();
}

inline void Check(bool ok, std::string_view what) {
  if (!ok) Fail(what);
}

}  // namespace fuzz

#pragma once
// A broken invariant in a harness: says which, then aborts so that libFuzzer keeps the input.
#include <cstdio>
#include <cstdlib>

namespace fuzzing {

inline void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

}  // namespace fuzzing

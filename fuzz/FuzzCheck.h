#pragma once
// Invariant checks for the fuzz targets: a broken one aborts, so libFuzzer keeps the input
// that broke it.

#include <cstdio>
#include <cstdlib>

inline void Check(bool condition, const char* invariant) {
  if (condition) return;
  std::fprintf(stderr, "Invariant broken: %s\n", invariant);
  std::abort();
}

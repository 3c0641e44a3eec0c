// fuzz_check.h: the invariant check every fuzz target uses.
#pragma once
#include <cstdio>
#include <cstdlib>

// Reports the line of a broken invariant, then crashes so that libFuzzer keeps the input.
inline void check(bool condition, int line = __builtin_LINE()) {
  if (condition) return;
  std::fprintf(stderr, "invariant broken at line %d\n", line);
  std::abort();
}

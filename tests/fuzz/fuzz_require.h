#pragma once
// A property of a fuzz target: when it does not hold, the target names it
// and aborts, which libFuzzer reports as a finding with the input.

#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(condition)                                                          \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (false)

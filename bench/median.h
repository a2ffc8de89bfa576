#pragma once
// The middle of a benchmark's repeated timings, which one slow run in a
// busy moment does not move.

#include <algorithm>
#include <vector>

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

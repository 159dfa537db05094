// SPDX-License-Identifier: Apache-2.0
// The benchmarks' clock: the performance counter in milliseconds.
#pragma once

#include <windows.h>

inline double BenchNowMs() {
  static const LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// What the C++ benchmarks share: the instruction sets' names and this
// thread's processor time, which, unlike the wall clock, other programs
// sharing the machine do not inflate.
#pragma once

#include <ctime>

#include "table/detail/table_fill.hpp"

inline const char* name_of(veldra::Simd simd) {
  switch (simd) {
    case veldra::Simd::Sse2:
      return "sse2";
    case veldra::Simd::Avx2:
      return "avx2";
    case veldra::Simd::Avx512:
      return "avx512";
  }
  return "?";
}

inline double thread_seconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

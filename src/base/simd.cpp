#include "base/simd.hpp"

namespace veldra {

bool simd_supported(Simd simd) {
  switch (simd) {
    case Simd::Sse2:
      return true;
    case Simd::Avx2:
      return __builtin_cpu_supports("avx2");
    case Simd::Avx512:
      return __builtin_cpu_supports("avx512f");
  }
  return false;
}

Simd widest_simd() {
  if (simd_supported(Simd::Avx512)) return Simd::Avx512;
  if (simd_supported(Simd::Avx2)) return Simd::Avx2;
  return Simd::Sse2;
}

}  // namespace veldra

// The instruction sets that the hot loops are compiled for, and the widest
// one that the processor running this program executes.
#pragma once

namespace veldra {

// Sse2 runs on every x86-64.
enum class Simd : unsigned char { Sse2, Avx2, Avx512 };

// Whether the processor running this program executes `simd`.
bool simd_supported(Simd simd);

// The widest instruction set the processor executes.
Simd widest_simd();

}  // namespace veldra

// The sparse walk's 32-bit hash lanes are eight words here: a vector the
// baseline ABI would pass differently, though every one stays inlined.
#pragma GCC diagnostic ignored "-Wpsabi"

#include "table/detail/table_simd.hpp"

namespace veldra {
namespace table_simd {
namespace {
VELDRA_CELLS(CellsAvx512, "avx512f", 8)
#undef VELDRA_CELLS
}  // namespace
}  // namespace table_simd

[[gnu::target("avx512f")]] void fill_avx512(const TablePlan& plan, TableScratch& scratch,
                                            std::uint64_t begin, std::uint64_t end, double* out) {
  table_simd::fill_any<table_simd::CellsAvx512>(plan, scratch, begin, end, out);
}

[[gnu::target("avx512f")]] void fill_placed_avx512(const PlacedPlan& plan, PlacedScratch& scratch,
                                                   std::uint64_t begin, std::uint64_t end, double* out) {
  table_simd::fill_placed_any<table_simd::CellsAvx512>(plan, scratch, begin, end, out);
}

[[gnu::target("avx512f")]] void fill_placed_derivative_avx512(const PlacedPlan& plan,
                                                              std::uint64_t begin, std::uint64_t end,
                                                              double* out) {
  table_simd::fill_placed_derivative_any<table_simd::CellsAvx512>(plan, begin, end, out);
}

}  // namespace veldra

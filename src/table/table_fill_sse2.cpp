#include "table/detail/table_simd.hpp"

namespace veldra {
namespace table_simd {
namespace {
VELDRA_CELLS(CellsSse2, "sse2", 2)
#undef VELDRA_CELLS
}  // namespace
}  // namespace table_simd

void fill_sse2(const TablePlan& plan, TableScratch& scratch,
               std::uint64_t begin, std::uint64_t end, double* out) {
  table_simd::fill_any<table_simd::CellsSse2>(plan, scratch, begin, end, out);
}

void fill_placed_sse2(const PlacedPlan& plan, PlacedScratch& scratch,
                      std::uint64_t begin, std::uint64_t end, double* out) {
  table_simd::fill_placed_any<table_simd::CellsSse2>(plan, scratch, begin, end, out);
}

void fill_placed_derivative_sse2(const PlacedPlan& plan, std::uint64_t begin,
                                 std::uint64_t end, double* out) {
  table_simd::fill_placed_derivative_any<table_simd::CellsSse2>(plan, begin, end, out);
}

}  // namespace veldra

#include "table/detail/table_simd.hpp"

namespace veldra {
namespace table_simd {
namespace {
VELDRA_CELLS(CellsAvx2, "avx2", 4)
#undef VELDRA_CELLS
}  // namespace
}  // namespace table_simd

[[gnu::target("avx2")]] void fill_avx2(const TablePlan& plan, TableScratch& scratch,
                                       std::uint64_t begin, std::uint64_t end, double* out) {
  table_simd::fill_any<table_simd::CellsAvx2>(plan, scratch, begin, end, out);
}

[[gnu::target("avx2")]] void fill_placed_avx2(const PlacedPlan& plan, PlacedScratch& scratch,
                                              std::uint64_t begin, std::uint64_t end, double* out) {
  table_simd::fill_placed_any<table_simd::CellsAvx2>(plan, scratch, begin, end, out);
}

[[gnu::target("avx2")]] void fill_placed_derivative_avx2(const PlacedPlan& plan, std::uint64_t begin,
                                                         std::uint64_t end, double* out) {
  table_simd::fill_placed_derivative_any<table_simd::CellsAvx2>(plan, begin, end, out);
}

}  // namespace veldra

// Times the table fill into a buffer allocated once, per instruction set,
// on one thread and on every processor, apart from the allocation (and the
// first touch of fresh pages) that table() of an Instance adds.
//
//   cmake -S . -B build/bench -DVELDRA_BUILD_BENCH=ON -DVELDRA_BUILD_PYTHON=OFF
//   cmake --build build/bench && build/bench/bench/table_fill
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <string>
#include <vector>

#include "base/workers.hpp"
#include "table/detail/table_fill.hpp"
#include "table/table.hpp"

#include "thread_time.hpp"

namespace {

using Clock = std::chrono::steady_clock;

struct Case {
  const char* name;
  std::vector<std::uint64_t> dims;
  std::vector<std::uint64_t> divisors;
};

// The fastest of `repeats` runs of f, in wall seconds and in thread seconds.
template <typename F>
std::pair<double, double> best_of(int repeats, F&& f) {
  double wall = 1e30, cpu = 1e30;
  for (int r = 0; r < repeats; ++r) {
    auto start = Clock::now();
    const double cpu_start = thread_seconds();
    f();
    cpu = std::min(cpu, thread_seconds() - cpu_start);
    wall = std::min(wall, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return {wall, cpu};
}

}  // namespace

int main(int argc, char** argv) {
  using namespace veldra;
  const int repeats = argc > 1 ? std::stoi(argv[1]) : 5;
  const std::vector<Case> cases = {
      {"2-D", {16, 16}, {128, 128}},        // 2049^2 = 4.2 million values
      {"3-D", {4, 4, 4}, {32, 32, 32}},     // 129^3 = 2.1 million values
      {"4-D", {2, 2, 2, 2}, {19, 19, 19, 19}},  // 39^4 = 2.3 million values
      {"5-D", {2, 2, 2, 2, 2}, {9, 9, 9, 9, 9}},  // 19^5 = 2.5 million values
  };
  std::printf("%-5s %10s %8s %14s %14s %14s %14s\n", "table", "values", "simd", "fill Mv/s",
              "fill cpu Mv/s", "fill all Mv/s", "table Mv/s");
  for (const Case& c : cases) {
    auto field = Instance::create(c.dims, 1);
    auto layout = table_layout(*field, c.divisors);
    std::vector<double> out(layout->count);
    const double table_seconds = best_of(repeats, [&] { (void)table(*field, c.divisors); }).first;
    for (Simd simd : {Simd::Sse2, Simd::Avx2, Simd::Avx512}) {
      if (!simd_supported(simd)) continue;
      auto fill = TableFill::create(*field, c.divisors, 1, simd);
      auto [wall, cpu] = best_of(repeats, [&] { fill->fill(0, 0, layout->count, out.data()); });
      // On every processor, cut as table() cuts it, but into memory
      // already touched: what the table would take without the kernel
      // zeroing its fresh pages first.
      const Split split = Split::of(layout->count, SERIAL_LIMIT, available_processors());
      auto shared = TableFill::create(*field, c.divisors, split.runs, simd);
      const double all = best_of(repeats, [&] {
        (void)run_split(split, [&](std::size_t run) {
          const std::uint64_t begin = run * split.length;
          const std::uint64_t end = std::min(layout->count, begin + split.length);
          shared->fill(run, begin, end, out.data() + begin);
        });
      }).first;
      const double count = static_cast<double>(layout->count);
      std::printf("%-5s %10llu %8s %14.1f %14.1f %14.1f %14.1f\n", c.name,
                  static_cast<unsigned long long>(layout->count), name_of(simd), count / wall / 1e6,
                  count / cpu / 1e6, count / all / 1e6, count / table_seconds / 1e6);
    }
  }
}

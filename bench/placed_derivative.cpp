// Times one octave's general walk over a box of samples: its noise (fill)
// against its derivatives and noise (fill_derivative), per instruction
// set, for the stored lattice (octave 0) and a palette octave (octave 1),
// at many samples per cell and at about one.
//
//   cmake -S . -B build/bench -DVELDRA_BUILD_BENCH=ON -DVELDRA_BUILD_PYTHON=OFF
//   cmake --build build/bench && build/bench/bench/placed_derivative [repeats [case]]
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <string>
#include <vector>

#include "field/field.hpp"
#include "field/lattice_axis.hpp"
#include "table/detail/placed_fill.hpp"

#include "thread_time.hpp"

namespace {

struct Case {
  const char* name;
  std::size_t n;
  std::uint64_t side;    // samples per axis
  double per_cell;       // samples per cell along each axis
};

template <typename F>
double best_of(int repeats, F&& f) {
  double best = 1e30;
  for (int r = 0; r < repeats; ++r) {
    const double start = thread_seconds();
    f();
    best = std::min(best, thread_seconds() - start);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace veldra;
  const int repeats = argc > 1 ? std::stoi(argv[1]) : 5;
  // Optionally one case only (its index in the list below).
  const int only = argc > 2 ? std::stoi(argv[2]) : -1;
  const std::vector<Case> cases = {
      {"2-D", 2, 1024, 8.0}, {"2-D", 2, 1024, 1.2}, {"3-D", 3, 128, 8.0}, {"3-D", 3, 128, 1.2}};
  std::printf("%-4s %8s %6s %7s %7s %12s %12s %7s\n", "box", "samples", "/cell", "octave", "simd",
              "fill Ms/s", "deriv Ms/s", "ratio");
  for (const Case& c : cases) {
    if (only >= 0 && &c != &cases[static_cast<std::size_t>(only)]) continue;
    const double step = 1.0 / c.per_cell;
    const auto cells = static_cast<std::uint64_t>(static_cast<double>(c.side) * step) + 2;
    auto field = Field::create(std::vector<std::uint64_t>(c.n, cells), 1,
                               {2, 2, 0.5, Shape::Smooth, false});
    for (std::size_t k = 0; k < 2; ++k) {
      const Octave& octave = field->octaves()[k];
      std::uint64_t count = 1;
      std::vector<std::vector<AxisPoint>> places(c.n);
      for (std::size_t i = 0; i < c.n; ++i) {
        for (std::uint64_t q = 0; q < c.side; ++q) {
          const double x = 0.37 + static_cast<double>(q) * step;
          places[i].push_back(locate_on_axis(x, octave.cells[i]));
        }
        count *= c.side;
      }
      std::vector<double> out(count * (c.n + 1));
      for (Simd simd : {Simd::Sse2, Simd::Avx2, Simd::Avx512}) {
        if (!simd_supported(simd)) continue;
        auto fill = PlacedFill::create(field->gradients(k), places, 1, simd);
        const double values = best_of(repeats, [&] { fill->fill(0, 0, count, out.data()); });
        const double both =
            best_of(repeats, [&] { fill->fill_derivative(0, 0, count, out.data()); });
        const double total = static_cast<double>(count);
        std::printf("%-4s %8llu %6.1f %7zu %7s %12.1f %12.1f %7.2f\n", c.name,
                    static_cast<unsigned long long>(count), c.per_cell, k, name_of(simd),
                    total / values / 1e6, total / both / 1e6, both / values);
      }
    }
  }
}

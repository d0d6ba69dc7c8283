// Times the phases of a hair rendering (growth, colour map, combing,
// developing) on one worker and on all, with the time per pixel and the
// speed-up of all workers over one, and checks that the phases put together
// give the same bytes as render_hair.
//
//   cmake -S . -B build/bench -DVELDRA_BUILD_BENCH=ON -DVELDRA_BUILD_PYTHON=OFF
//   cmake --build build/bench && build/bench/bench/hair_phases
#include <chrono>
#include <cstdio>
#include <optional>

#include "base/buffer.hpp"
#include "base/in_parallel.hpp"
#include "base/workers.hpp"
#include "hair/detail/canvas.hpp"
#include "hair/detail/look.hpp"
#include "hair/detail/pipeline.hpp"
#include "hair/detail/strand.hpp"
#include "image/detail/relief_image.hpp"
#include "image/renderer.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Phases {
  double growth = 0, color_map = 0, combing = 0, developing = 0;
  double total() const { return growth + color_map + combing + developing; }
};

template <typename T>
T must(veldra::Result<T> result) {
  if (!result) {
    std::fprintf(stderr, "failed: %s\n", result.error().message.c_str());
    std::exit(1);
  }
  return std::move(*result);
}

// The pipeline of render_hair, phase by phase, on `workers` threads.
veldra::Image render(const veldra::Renderer& renderer, std::uint64_t width, std::uint64_t height,
                     const veldra::Hair& hair, std::size_t workers, Phases& phases) {
  using namespace veldra;
  const Field& field = renderer.field();
  const std::array<double, 2> scale = {double(width) / double(field.dims()[1]),
                                       double(height) / double(field.dims()[0])};
  auto start = Clock::now();
  const Coat coat = must(grow_coat(field, hair, scale, workers));
  const std::vector<Strand>& strands = coat.strands;
  auto order = must(drawing_order(strands));
  phases.growth = seconds_since(start);

  start = Clock::now();
  std::optional<ColorMap> color_map;
  if (hair.color_from_field) {
    auto divisors = color_map_divisors(field.dims(), width, height);
    color_map = must(ColorMap::from_image(must(relief_image(renderer, divisors, hair.surface, workers))));
  }
  const bool mapped = color_map.has_value();
  const Look look = Look::of(hair, std::move(color_map), width, height);
  phases.color_map = seconds_since(start);

  start = Clock::now();
  auto canvases = must(Canvas::bands(width, height, workers));
  auto combed = run_scoped(canvases.size(), [&](std::size_t k) {
    canvases[k].clear(mapped ? LinearRgb{0, 0, 0} : look.tones[0]);
    canvases[k].comb(strands, order, hair, look);
  });
  if (!combed) std::exit(1);
  phases.combing = seconds_since(start);

  // The pipeline develops each band on its band's worker too.
  start = Clock::now();
  auto pixels = must(allocate<std::uint8_t>(width * height * 3));
  auto developed = run_scoped(canvases.size(), [&](std::size_t k) {
    const Canvas& canvas = canvases[k];
    canvas.develop(std::span(pixels.data() + canvas.top * width * 3, canvas.rows * width * 3));
  });
  if (!developed) std::exit(1);
  phases.developing = seconds_since(start);
  return Image{std::move(pixels), width, height, 3};
}

}  // namespace

int main() {
  using namespace veldra;
  const std::uint64_t size = 1024;
  auto renderer = must(Renderer::create(Field(must(Instance::create({6, 6}, 3)))));
  std::printf("hair %llux%llu on a [6, 6] field, %zu processors available\n",
              static_cast<unsigned long long>(size), static_cast<unsigned long long>(size),
              available_processors());
  std::printf("%-18s %7s %8s %10s %8s %10s %8s %9s %8s\n", "settings", "workers", "growth",
              "colour map", "combing", "developing", "total", "ns/pixel", "speed-up");
  for (bool from_field : {false, true}) {
    Hair hair;
    hair.color_from_field = from_field;
    const Image reference = must(render_hair(renderer, size, size, hair));
    double single = 0.0;
    for (std::size_t workers : {std::size_t{1}, available_processors()}) {
      Phases best;
      best.growth = best.color_map = best.combing = best.developing = 1e9;
      for (int repeat = 0; repeat < 3; ++repeat) {
        Phases phases;
        Image image = render(renderer, size, size, hair, workers, phases);
        if (image.pixels != reference.pixels) {
          std::fprintf(stderr, "phases do not reproduce render_hair\n");
          return 1;
        }
        if (phases.total() < best.total()) best = phases;
      }
      if (workers == 1) single = best.total();
      std::printf("%-18s %7zu %8.3f %10.3f %8.3f %10.3f %8.3f %9.1f %8.2f\n",
                  from_field ? "color_from_field" : "Hair()", workers, best.growth, best.color_map,
                  best.combing, best.developing, best.total(),
                  best.total() / double(size * size) * 1e9, single / best.total());
      if (workers == available_processors()) break;
    }
  }
  return 0;
}

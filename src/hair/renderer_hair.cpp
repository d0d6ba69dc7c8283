// Hair as the package renders it: the pipeline on every available
// processor, coloured by the renderer's own relief. Kept apart from the
// pipeline, which takes any relief source.
#include "base/workers.hpp"
#include "hair/detail/pipeline.hpp"
#include "hair/hair.hpp"

namespace veldra {

Result<Image> render_hair(const Renderer& renderer, std::uint64_t width, std::uint64_t height,
                          const Hair& hair) {
  return render_hair(renderer, width, height, hair, available_processors(),
                     [&renderer](std::span<const std::uint64_t> divisors, const Relief& surface) {
                       return renderer.relief(divisors, surface);
                     });
}

}  // namespace veldra

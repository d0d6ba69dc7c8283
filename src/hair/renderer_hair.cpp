// Renderer::hair lives apart from the pipeline so that the pipeline can be
// exercised with any relief source.
#include "base/workers.hpp"
#include "hair/detail/pipeline.hpp"

namespace veldra {

Result<Image> Renderer::hair(std::uint64_t width, std::uint64_t height,
                             const Hair& settings) const {
  return render_hair(*this, width, height, settings, available_processors(),
                     [this](std::span<const std::uint64_t> divisors, const Relief& surface) {
                       return relief(divisors, surface);
                     });
}

}  // namespace veldra

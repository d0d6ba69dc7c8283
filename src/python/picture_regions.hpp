// The module-level functions that make a picture region by region:
// value_range, grayscale_region, colored_region and relief_region.
#pragma once

#include <vector>

#include "python/kit/class_spec.hpp"

namespace veldra::py {

std::vector<MethodSpec> picture_region_functions();

}  // namespace veldra::py

// The module-level functions of PNG output beyond the classes: the blocks
// that veldra.dask deflates on its workers (png_block_rows, png_blocks) and
// the levels of heightmaps (heightmap).
#pragma once

#include <vector>

#include "python/kit/class_spec.hpp"

namespace veldra::py {

std::vector<MethodSpec> png_functions();

}  // namespace veldra::py

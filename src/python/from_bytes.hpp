// Tables and images rebuilt from their values, as pickles carry them: the
// module-level functions table_from_bytes and image_from_bytes. Pickles
// refer to them by module and name, so both must stay.
#pragma once

#include <vector>

#include "python/kit/class_spec.hpp"

namespace veldra::py {

std::vector<MethodSpec> from_bytes_functions();

}  // namespace veldra::py

// Tables and images rebuilt from their values, as pickles carry them: the
// functions table_from_bytes and image_from_bytes, which the package
// exports. Pickles refer to them by module and name, so both must stay.
#pragma once

#include <cstdint>
#include <vector>

#include "base/error.hpp"
#include "python/kit/class_spec.hpp"

namespace veldra::py {

std::vector<MethodSpec> from_bytes_functions();

// The byte count of an image of width x height pixels of `channels` bytes,
// or why there is no such image: "An image needs a positive width and
// height", "Channels has to be 1 or 3, got {c}", or out of memory when no
// buffer could hold it.
Result<std::uint64_t> image_bytes(std::uint64_t width, std::uint64_t height,
                                  std::uint64_t channels);

}  // namespace veldra::py

#include "base/os_error.hpp"

#include <cstring>

namespace veldra {

std::string os_error_description(int err) {
  char scratch[256];
  // The GNU strerror_r returns the text, which need not be in `scratch`.
  return strerror_r(err, scratch, sizeof scratch);
}

std::unexpected<Error> os_error(int err, std::string path) {
  return std::unexpected(Error{ErrorKind::Io,
                               os_error_description(err) + " (os error " + std::to_string(err) + ")",
                               err, std::move(path)});
}

}  // namespace veldra

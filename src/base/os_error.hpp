// Failures the operating system reports by errno, as Io error values whose
// message reads "No such file or directory (os error 2)".
#pragma once

#include <string>

#include "base/error.hpp"

namespace veldra {

// The system's text for `err`: "No such file or directory".
std::string os_error_description(int err);

// The Io error for `err` on the file `path`: its message is the system's
// text followed by " (os error {err})", and it carries `err` and `path`.
std::unexpected<Error> os_error(int err, std::string path);

}  // namespace veldra

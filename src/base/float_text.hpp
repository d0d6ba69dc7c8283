// The two ways floats are written in messages and representations.
#pragma once

#include <string>

namespace veldra {

// Shortest decimal that reads back to the same float, never in exponent
// form, integral values without a fraction: "3", "-1", "0.5", "-0", "NaN",
// "inf", "-inf".
std::string plain_float(double value);

// The same shortest digits, but an integral value keeps ".0" and magnitudes
// of at least 1e16 or below 1e-4 use an exponent without plus sign or
// leading zeros: "1.0", "1e16", "2.5e-7".
std::string marked_float(double value);

}  // namespace veldra

#include "lib/float_text.hpp"

#include <charconv>
#include <cmath>
#include <system_error>

namespace veldra {
namespace {

// Long enough for any double in fixed notation (up to 309 integral digits
// or 1074 fractional ones).
constexpr int kFixedCapacity = 1100;

const char* special_text(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  return nullptr;
}

std::string shortest(double value, std::chars_format format) {
  char text[kFixedCapacity];
  auto [end, error] = std::to_chars(text, text + sizeof text, value, format);
  return error == std::errc{} ? std::string(text, end) : std::string();
}

}  // namespace

std::string plain_float(double value) {
  if (const char* special = special_text(value)) return special;
  return shortest(value, std::chars_format::fixed);
}

std::string marked_float(double value) {
  if (const char* special = special_text(value)) return special;
  double magnitude = std::fabs(value);
  if (magnitude != 0.0 && (magnitude >= 1e16 || magnitude < 1e-4)) {
    // "2.5e-07" becomes "2.5e-7" and "1e+16" becomes "1e16".
    std::string text = shortest(value, std::chars_format::scientific);
    std::size_t e = text.find('e');
    std::string exponent = text.substr(e + 1);
    bool negative = exponent[0] == '-';
    std::size_t digits = exponent.find_first_not_of("+-0");
    return text.substr(0, e + 1) + (negative ? "-" : "") + exponent.substr(digits);
  }
  std::string text = shortest(value, std::chars_format::fixed);
  if (text.find('.') == std::string::npos) text += ".0";
  return text;
}

}  // namespace veldra

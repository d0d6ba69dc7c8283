#include "base/float_text.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace veldra {
namespace {

// Long enough for any double in scientific notation ("-2.2250738585072014e-308").
constexpr int kScientificCapacity = 32;

const char* special_text(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  return nullptr;
}

std::string shortest(double value, std::chars_format format) {
  char text[kScientificCapacity];
  auto [end, error] = std::to_chars(text, text + sizeof text, value, format);
  return error == std::errc{} ? std::string(text, end) : std::string();
}

// The shortest round-trip digits written out without an exponent:
// "1.8446744073709552e+19" becomes "18446744073709552000", not the exact
// "18446744073709551616" that fixed notation would give.
std::string spelled_out(double value) {
  const std::string text = shortest(value, std::chars_format::scientific);
  const std::size_t e = text.find('e');
  const bool negative = text[0] == '-';
  std::string digits;
  for (std::size_t i = negative ? 1 : 0; i < e; ++i) {
    if (text[i] != '.') digits += text[i];
  }
  // The first digit stands for 10^exponent.
  const long exponent = std::strtol(text.c_str() + e + 1, nullptr, 10);
  const long count = static_cast<long>(digits.size());
  std::string out = negative ? "-" : "";
  if (exponent < 0) {
    out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  } else if (exponent + 1 >= count) {
    out += digits + std::string(static_cast<std::size_t>(exponent + 1 - count), '0');
  } else {
    out += digits.substr(0, static_cast<std::size_t>(exponent + 1)) + "." +
           digits.substr(static_cast<std::size_t>(exponent + 1));
  }
  return out;
}

}  // namespace

std::string plain_float(double value) {
  if (const char* special = special_text(value)) return special;
  return spelled_out(value);
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
  std::string text = spelled_out(value);
  if (text.find('.') == std::string::npos) text += ".0";
  return text;
}

}  // namespace veldra

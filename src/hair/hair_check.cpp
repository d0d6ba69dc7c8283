#include <cmath>
#include <string>

#include "base/float_text.hpp"
#include "hair/hair.hpp"

namespace veldra {
namespace {

// What a checked field must satisfy. A comparison with NaN is false, so NaN
// fails every rule.
enum class Rule { AboveZero, NotNegative, Finite, Fraction, UpToHalf };

bool passes(Rule rule, double v) {
  switch (rule) {
    case Rule::AboveZero: return std::isfinite(v) && v > 0.0;
    case Rule::NotNegative: return std::isfinite(v) && v >= 0.0;
    case Rule::Finite: return std::isfinite(v);
    case Rule::Fraction: return v >= 0.0 && v <= 1.0;
    case Rule::UpToHalf: return v >= 0.0 && v <= 0.5;
  }
  return false;
}

struct Check {
  double value;
  Rule rule;
  const char* message;  // the value is appended in the plain float style
};

}  // namespace

Status check_hair(const Hair& hair) {
  // drag is checked before force on purpose: this order is part of the
  // contract, since only the first failure is reported.
  const Check checks[] = {
      {hair.step, Rule::AboveZero, "The step has to be above 0, got "},
      {hair.drag, Rule::NotNegative, "Drag cannot be negative, got "},
      {hair.force, Rule::Finite, "The force has to be a number, got "},
      {hair.thickness, Rule::AboveZero, "Thickness has to be above 0, got "},
      {hair.opacity, Rule::Fraction, "Opacity has to be 0 to 1, got "},
      {hair.frizz, Rule::NotNegative, "Frizz cannot be negative, got "},
      {hair.jitter, Rule::Fraction, "Jitter has to be 0 to 1, got "},
      {hair.depth, Rule::Fraction, "Depth has to be 0 to 1, got "},
      {hair.taper, Rule::UpToHalf, "Taper has to be 0 to 0.5, got "},
      {hair.ambient, Rule::Fraction, "Ambient has to be 0 to 1, got "},
      {hair.diffuse, Rule::Fraction, "Diffuse has to be 0 to 1, got "},
      {hair.specular, Rule::Fraction, "Specular has to be 0 to 1, got "},
      {hair.gloss, Rule::AboveZero, "Gloss has to be above 0, got "},
  };
  for (const Check& check : checks) {
    if (!passes(check.rule, check.value)) {
      return invalid_input(std::string(check.message) + plain_float(check.value));
    }
  }
  return {};
}

}  // namespace veldra

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "hair/hair.hpp"

namespace veldra {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The message of check_hair's error, or "" when the settings pass.
std::string complaint(const Hair& hair) {
  Status status = check_hair(hair);
  if (status) return "";
  EXPECT_EQ(status.error().kind, ErrorKind::InvalidInput);
  return status.error().message;
}

TEST(HairCheck, DefaultsPass) { EXPECT_EQ(complaint(Hair{}), ""); }

TEST(HairCheck, StepMustBeFiniteAndPositive) {
  Hair hair;
  hair.step = 0.0;
  EXPECT_EQ(complaint(hair), "The step has to be above 0, got 0");
  hair.step = kInf;
  EXPECT_EQ(complaint(hair), "The step has to be above 0, got inf");
}

TEST(HairCheck, DragAcceptsBothZerosButNotNaNOrInfinity) {
  Hair hair;
  hair.drag = 0.0;
  EXPECT_EQ(complaint(hair), "");
  hair.drag = -0.0;
  EXPECT_EQ(complaint(hair), "");
  hair.drag = kNaN;
  EXPECT_EQ(complaint(hair), "Drag cannot be negative, got NaN");
  hair.drag = kInf;
  EXPECT_EQ(complaint(hair), "Drag cannot be negative, got inf");
}

TEST(HairCheck, ForceTakesAnyFiniteSign) {
  Hair hair;
  hair.force = -5.0;
  EXPECT_EQ(complaint(hair), "");
  hair.force = kInf;
  EXPECT_EQ(complaint(hair), "The force has to be a number, got inf");
}

TEST(HairCheck, RangesIncludeTheirEnds) {
  Hair hair;
  hair.taper = 0.5;
  EXPECT_EQ(complaint(hair), "");
  hair.taper = 0.51;
  EXPECT_EQ(complaint(hair), "Taper has to be 0 to 0.5, got 0.51");
  hair = Hair{};
  hair.opacity = kNaN;
  EXPECT_EQ(complaint(hair), "Opacity has to be 0 to 1, got NaN");
}

TEST(HairCheck, EachFieldHasItsOwnMessage) {
  const struct {
    double Hair::*field;
    double value;
    const char* message;
  } cases[] = {
      {&Hair::thickness, -0.0, "Thickness has to be above 0, got -0"},
      {&Hair::frizz, -1.0, "Frizz cannot be negative, got -1"},
      {&Hair::jitter, 1.5, "Jitter has to be 0 to 1, got 1.5"},
      {&Hair::depth, -0.25, "Depth has to be 0 to 1, got -0.25"},
      {&Hair::ambient, 2.0, "Ambient has to be 0 to 1, got 2"},
      {&Hair::diffuse, kNaN, "Diffuse has to be 0 to 1, got NaN"},
      {&Hair::specular, -kInf, "Specular has to be 0 to 1, got -inf"},
      {&Hair::gloss, 0.0, "Gloss has to be above 0, got 0"},
  };
  for (const auto& c : cases) {
    Hair hair;
    hair.*c.field = c.value;
    EXPECT_EQ(complaint(hair), c.message);
  }
}

TEST(HairCheck, OnlyTheFirstFailureInCheckOrderIsReported) {
  Hair hair;
  hair.step = 0.0;
  hair.gloss = 0.0;
  EXPECT_EQ(complaint(hair), "The step has to be above 0, got 0");
  hair = Hair{};
  hair.force = kNaN;
  hair.drag = -1.0;
  EXPECT_EQ(complaint(hair), "Drag cannot be negative, got -1");
}

TEST(HairCheck, UncheckedFieldsTakeAnyValue) {
  Hair hair;
  hair.count = 0;
  hair.steps = 0;
  hair.swirl = kNaN;
  hair.light = {0.0, 0.0};
  EXPECT_EQ(complaint(hair), "");
}

}  // namespace
}  // namespace veldra

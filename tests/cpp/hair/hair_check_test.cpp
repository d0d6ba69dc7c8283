#include <limits>

#include <gtest/gtest.h>

#include "hair/hair.hpp"

namespace veldra {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(HairCheck, ReportsTheFirstFailingFieldInCheckOrder) {
  const struct {
    void (*change)(Hair&);
    const char* message;  // "" when the settings pass
  } cases[] = {
      {[](Hair&) {}, ""},
      {[](Hair& h) { h.step = 0.0; }, "The step has to be above 0, got 0"},
      {[](Hair& h) { h.step = kInf; }, "The step has to be above 0, got inf"},
      {[](Hair& h) { h.drag = -0.0; }, ""},
      {[](Hair& h) { h.drag = kNaN; }, "Drag cannot be negative, got NaN"},
      {[](Hair& h) { h.drag = kInf; }, "Drag cannot be negative, got inf"},
      {[](Hair& h) { h.force = -5.0; }, ""},
      {[](Hair& h) { h.force = kInf; }, "The force has to be a number, got inf"},
      {[](Hair& h) { h.thickness = -0.0; }, "Thickness has to be above 0, got -0"},
      {[](Hair& h) { h.opacity = kNaN; }, "Opacity has to be 0 to 1, got NaN"},
      {[](Hair& h) { h.taper = 0.5; }, ""},
      {[](Hair& h) { h.taper = 0.51; }, "Taper has to be 0 to 0.5, got 0.51"},
      {[](Hair& h) { h.specular = -kInf; }, "Specular has to be 0 to 1, got -inf"},
      {[](Hair& h) { h.gloss = 0.0; }, "Gloss has to be above 0, got 0"},
      {[](Hair& h) { h.step = 0.0, h.gloss = 0.0; }, "The step has to be above 0, got 0"},
      {[](Hair& h) { h.force = kNaN, h.drag = -1.0; }, "Drag cannot be negative, got -1"},
      {[](Hair& h) { h.count = 0, h.steps = 0, h.swirl = kNaN, h.light = {0.0, 0.0}; }, ""},
  };
  for (const auto& c : cases) {
    Hair hair;
    c.change(hair);
    Status status = check_hair(hair);
    EXPECT_EQ(status ? "" : status.error().message, c.message);
    EXPECT_TRUE(status || status.error().kind == ErrorKind::InvalidInput);
  }
}

}  // namespace
}  // namespace veldra

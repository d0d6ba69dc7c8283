// The renderer: owns a copy of a field of 2 to 4 dimensions (an Instance
// as the one-octave Field that is it) and turns it into pictures. Every rendering is a const operation that returns a new
// Image or an error; none changes the renderer.
//
// Flat renderings lay axis 0 of the field down the image and axis 1 across
// it, so a 2-D table's values come out in pixel order.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "base/error.hpp"
#include "field/instance.hpp"
#include "image/globe.hpp"
#include "image/image.hpp"
#include "image/palette.hpp"
#include "image/relief.hpp"
#include "field/field.hpp"
#include "table/table.hpp"

namespace veldra {

// Fails with "This image needs a {k} dimensional field, got {n}" unless
// `field` has exactly k dimensions.
Status expect_dims(const Field& field, std::size_t k);

class Renderer {
 public:
  // Fails with "Images need 2 to 4 dimensions, got {n}" for other fields.
  static Result<Renderer> create(Field field);

  const Field& field() const { return field_; }

  // veldra::expect_dims of the field.
  Status expect_dims(std::size_t k) const { return veldra::expect_dims(field_, k); }

  // The field's table for `divisors`, after checking that the field has
  // exactly k dimensions; the first failure is returned unchanged.
  Result<Table> table_of(std::size_t k, std::span<const std::uint64_t> divisors) const;

  // Flat images of a 2-D field (flat.cpp).
  Result<Image> grayscale(std::span<const std::uint64_t> divisors) const;
  Result<Image> colored(std::span<const std::uint64_t> divisors, Palette palette) const;

  // Colour images from slices of the third axis of a 3-D field (three_axis.cpp).
  Result<Image> rgb_channels(std::span<const std::uint64_t> divisors) const;
  Result<Image> rgb_channels_at(std::span<const std::uint64_t> divisors,
                                std::array<std::uint64_t, 3> slices) const;
  Result<Image> rgb_palette(std::span<const std::uint64_t> divisors, std::uint64_t slice,
                            Palette palette) const;

  // A lit height map of a 2-D field (relief.cpp).
  Result<Image> relief(std::span<const std::uint64_t> divisors, const Relief& settings) const;

  // A shaded, supersampled sphere carved out of a 4-D field (globe.cpp).
  Result<Image> globe(std::uint64_t width, std::uint64_t height, const Globe& settings) const;

 private:
  explicit Renderer(Field field) : field_(std::move(field)) {}
  Field field_;
};

}  // namespace veldra

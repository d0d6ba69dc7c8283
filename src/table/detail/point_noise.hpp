// The noise of an Instance or a Field at many points (point_noise.cpp,
// field_points.cpp): for 2 to 4 axes several points at once, one per SIMD
// lane, on the widest instruction set allowed.
#pragma once

#include <cstdint>

#include "field/field.hpp"
#include "field/instance.hpp"
#include "table/detail/table_fill.hpp"

namespace veldra {

// Instance::sample at each of `count` points (n coordinates each, one
// after another) into out[0 .. count), bit for bit, whatever `simd` (which
// the processor must execute). Returns whether every coordinate lay inside
// the lattice (as LatticeBounds takes it), so that the points need no
// check pass of their own.
bool noise_points(const Instance& field, const double* points, std::uint64_t count, double* out,
                  Simd simd = widest_simd());

// Field::sample at each of `count` points (n coordinates each, one after
// another) into out[0 .. count), bit for bit, whatever `simd`: for 2 to 4
// axes four points at a time in AVX2 lanes (every octave), the rest one
// at a time. The points must be ones the field takes.
void noise_points(const Field& field, const double* points, std::uint64_t count, double* out,
                  Simd simd = widest_simd());

// Field::pull at each point into out (n numbers per point), bit for bit,
// as noise_points evaluates them.
void pull_points(const Field& field, const double* points, std::uint64_t count, double* out,
                 Simd simd = widest_simd());

// Field::slope at each point into out (n numbers per point), bit for bit,
// as noise_points evaluates them.
void slope_points(const Field& field, const double* points, std::uint64_t count, double* out,
                  Simd simd = widest_simd());

}  // namespace veldra

// The core types whose values Python objects own, one class each: included
// by every file of the module that converts them, before any conversion.
#pragma once

#include "field/field.hpp"
#include "field/instance.hpp"
#include "hair/hair.hpp"
#include "image/globe.hpp"
#include "image/image.hpp"
#include "image/palette.hpp"
#include "image/png_stream.hpp"
#include "image/relief.hpp"
#include "image/renderer.hpp"
#include "python/kit/box.hpp"
#include "table/table.hpp"

namespace veldra::py {

template <> inline constexpr bool is_boxed<Instance> = true;
template <> inline constexpr bool is_boxed<veldra::Field> = true;
template <> inline constexpr bool is_boxed<Table> = true;
template <> inline constexpr bool is_boxed<Image> = true;
template <> inline constexpr bool is_boxed<Renderer> = true;
template <> inline constexpr bool is_boxed<Palette> = true;
template <> inline constexpr bool is_boxed<Shape> = true;
template <> inline constexpr bool is_boxed<Relief> = true;
template <> inline constexpr bool is_boxed<Globe> = true;
template <> inline constexpr bool is_boxed<Hair> = true;
template <> inline constexpr bool is_boxed<PngStream> = true;

}  // namespace veldra::py

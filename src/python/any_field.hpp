// The field argument of the renderings: a Field, or an Instance as the
// one-octave Field that is it.
#pragma once

#include "field/field.hpp"
#include "python/boxed_types.hpp"
#include "python/kit/convert.hpp"

namespace veldra::py {

struct AnyField {
  veldra::Field field;
};

template <>
struct Convert<AnyField> {
  static std::optional<AnyField> from(PyObject* object) {
    // Field is registered by veldra._extras, which may not be loaded.
    if (class_of<veldra::Field> && is_instance<veldra::Field>(object)) return AnyField{core_of<veldra::Field>(object)};
    if (is_instance<Instance>(object)) return AnyField{veldra::Field(core_of<Instance>(object))};
    raise_cannot_convert(object, class_name<Instance>);
    return std::nullopt;
  }
};

}  // namespace veldra::py

// The field argument of the renderings: a Field, or an Instance as the
// one-octave Field that is it. Neither is copied: a Field is borrowed from
// its Python object, which the caller's reference keeps alive for the
// call, and the Field made of an Instance shares the Instance's lattice.
// Both are immutable, so the work may read them without the interpreter
// lock.
#pragma once

#include <optional>

#include "field/field.hpp"
#include "python/boxed_types.hpp"
#include "python/kit/convert.hpp"

namespace veldra::py {

class AnyField {
 public:
  explicit AnyField(const veldra::Field& borrowed) : borrowed_(&borrowed) {}
  explicit AnyField(const Instance& instance) : made_(veldra::Field(instance)) {}

  const veldra::Field& field() const { return made_ ? *made_ : *borrowed_; }

 private:
  const veldra::Field* borrowed_ = nullptr;
  std::optional<veldra::Field> made_;
};

template <>
struct Convert<AnyField> {
  static std::optional<AnyField> from(PyObject* object) {
    if (is_instance<veldra::Field>(object)) return AnyField(core_of<veldra::Field>(object));
    if (is_instance<Instance>(object)) return AnyField(core_of<Instance>(object));
    raise_cannot_convert(object, class_name<Instance>);
    return std::nullopt;
  }
};

}  // namespace veldra::py

// Bytes read through the buffer protocol, for arguments that take any
// bytes-like object: bytes, bytearray, memoryview, a numpy array, or the
// out-of-band buffers of a pickle.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "python/kit/convert.hpp"

namespace veldra::py {

// A read-only view of an object's bytes, held for as long as the view
// lives, so that the exporter can neither free nor resize them meanwhile.
// Must be destroyed while the interpreter is held, as every argument is.
class ByteView {
 public:
  std::span<const std::uint8_t> bytes() const {
    return {static_cast<const std::uint8_t*>(view_->buf), static_cast<std::size_t>(view_->len)};
  }

 private:
  struct Release {
    void operator()(Py_buffer* view) const;
  };
  explicit ByteView(std::unique_ptr<Py_buffer, Release> view) : view_(std::move(view)) {}
  std::unique_ptr<Py_buffer, Release> view_;  // on the heap: a view is not moved once filled

  friend struct Convert<ByteView>;
};

// A C-contiguous buffer of any item type, taken as its bytes. An object
// without the buffer protocol, or whose buffer is not contiguous, raises
// TypeError.
template <>
struct Convert<ByteView> {
  static std::optional<ByteView> from(PyObject* object);
};

}  // namespace veldra::py

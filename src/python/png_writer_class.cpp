// PngWriter: a PNG written band by band (a PngStream), for pictures that
// are never in memory whole. Like Image.write_png it keeps the interpreter
// while it encodes, polling for signals between rows.
#include "image/png_stream.hpp"
#include "python/classes.hpp"
#include "python/from_bytes.hpp"
#include "python/kit/byte_view.hpp"
#include "python/kit/class_spec.hpp"

namespace veldra::py {
namespace {

Result<PngStream> make(FsPath path, std::uint64_t width, std::uint64_t height,
                       std::uint64_t channels) {
  if (auto bytes = image_bytes(width, height, channels); !bytes) {
    return std::unexpected(bytes.error());
  }
  return PngStream::open(path.bytes, width, height, channels);
}

Status write_rows(PngStream& self, ByteView pixels) { return self.write_rows(pixels.bytes()); }

Status close(PngStream& self) { return self.commit(); }

Status abort(PngStream& self) {
  self.abort();
  return {};
}

Signature enter_signature;

PyObject* enter(PyObject* self, PyObject* args, PyObject* kwargs) {
  return shielded([&]() -> PyObject* {
    PyObject* slots[1];
    if (!bind_arguments(enter_signature, args, kwargs, slots)) return nullptr;
    return Py_NewRef(self);
  });
}

Signature exit_signature;

// Commits after a clean block (unless already closed), aborts after an
// exception, which then propagates.
PyObject* exit(PyObject* self, PyObject* args, PyObject* kwargs) {
  return shielded([&]() -> PyObject* {
    PyObject* slots[3];
    if (!bind_arguments(exit_signature, args, kwargs, slots)) return nullptr;
    PngStream& stream = core_of<PngStream>(self);
    if (slots[0] != Py_None) {
      stream.abort();
    } else if (stream.is_open()) {
      if (auto committed = stream.commit(); !committed) return raise(committed.error());
    }
    return Py_NewRef(Py_False);
  });
}

}  // namespace

PyObject* make_png_writer_class() {
  ClassSpec spec = class_owning<PngStream>(
      "PngWriter",
      "PngWriter(path, width, height, channels)\n--\n\n"
      "An 8-bit PNG of ``width`` x ``height`` pixels of ``channels`` bytes (1:\n"
      "grey, 3: red, green, blue) written a band of rows at a time, with the\n"
      "bytes :meth:`Image.write_png` writes for the same pixels.\n\n"
      "The file appears at ``path`` only when :meth:`close` finds every row\n"
      "written; until then it is a temporary file beside it, which\n"
      ":meth:`abort`, a failure, or dropping the writer removes. As a context\n"
      "manager it closes on leaving the block, or aborts when the block raises.");
  spec.constructor = constructor<make>();
  spec.methods = {
      method<write_rows>("write_rows($self, pixels)\n--\n\n"
                         "Append whole rows, top to bottom: ``pixels`` is any C-contiguous\n"
                         "bytes-like object of ``k * width * channels`` bytes. ``ValueError``,\n"
                         "writing nothing, when it is not whole rows or holds more rows than\n"
                         "remain."),
      method<close>("close($self)\n--\n\n"
                    "Finish the PNG and put it at ``path``. ``ValueError`` when rows are\n"
                    "missing; the writer is aborted then and ``path`` left as it was."),
      method<abort>("abort($self)\n--\n\n"
                    "Drop what was written; ``path`` stays as it was."),
      {"__enter__($self)\n--\n\n", &enter, &enter_signature},
      {"__exit__($self, exc_type, exc_value, traceback)\n--\n\n", &exit, &exit_signature},
  };
  return make_class<PngStream>(std::move(spec));
}

}  // namespace veldra::py

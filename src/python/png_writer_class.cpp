// PngWriter: a PNG written band by band (a PngStream), for pictures that
// are never in memory whole. It encodes with the interpreter lock released,
// so that the next band is computed meanwhile, and stops on Ctrl-C.
#include <unordered_set>

#include "image/png_stream.hpp"
#include "python/boxed_types.hpp"
#include "python/classes.hpp"
#include "python/from_bytes.hpp"
#include "python/kit/byte_view.hpp"
#include "python/kit/class_spec.hpp"
#include "python/kit/released.hpp"

namespace veldra::py {
namespace png_writer_class_detail {
namespace {

Result<PngStream> make(FsPath path, std::uint64_t width, std::uint64_t height,
                       std::uint64_t channels, std::uint64_t bits) {
  if (auto bytes = image_bytes(width, height, channels); !bytes) {
    return std::unexpected(bytes.error());
  }
  if (bits != 8 && bits != 16) return invalid_input("bits must be 8 or 16, got " + std::to_string(bits));
  return PngStream::open(path.bytes, width, height, channels, bits);
}

// The streams that a call is using with the interpreter lock released,
// touched only under the lock: a call from another thread meanwhile is
// refused rather than let in.
std::unordered_set<const PngStream*> in_use;

Status refuse_if_in_use(const PngStream& stream) {
  if (in_use.contains(&stream)) return invalid_input("The PNG writer is in use by another thread");
  return {};
}

// body() on `stream` without the interpreter lock, once no other call uses it.
template <typename Body>
Status unlocked(PngStream& stream, Body&& body) {
  if (auto free = refuse_if_in_use(stream); !free) return free;
  in_use.insert(&stream);
  struct Release {
    const PngStream* stream;
    ~Release() { in_use.erase(stream); }
  } release{&stream};
  return without_interpreter_lock(body);
}

Status write_rows(PngStream& self, ByteView pixels) {
  return unlocked(self, [&] { return self.write_rows(pixels.bytes()); });
}

Status write_deflated(PngStream& self, ByteView deflated, std::uint64_t adler32,
                      std::uint64_t rows) {
  if (adler32 > 0xffffffffu) return invalid_input("adler32 must be below 2^32, got " + std::to_string(adler32));
  return unlocked(self, [&] {
    return self.write_deflated(deflated.bytes(), static_cast<std::uint32_t>(adler32), rows);
  });
}

Status close(PngStream& self) {
  return unlocked(self, [&] { return self.commit(); });
}

Status abort(PngStream& self) {
  if (auto free = refuse_if_in_use(self); !free) return free;
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
    const Status done = slots[0] != Py_None ? abort(stream)
                        : stream.is_open()  ? close(stream)
                                            : Status{};
    if (!done) return raise(done.error());
    return Py_NewRef(Py_False);
  });
}

}  // namespace
}  // namespace png_writer_class_detail

PyObject* make_png_writer_class() {
  using namespace png_writer_class_detail;
  ClassSpec spec = class_owning<PngStream, make>(
      "PngWriter",
      "PngWriter(path, width, height, channels, bits=8)\n--\n\n"
      "A PNG of ``width`` x ``height`` pixels of ``channels`` samples (1:\n"
      "grey, 3: red, green, blue) of ``bits`` (8 or 16) each, written a band of\n"
      "rows at a time, with the bytes :meth:`Image.write_png` writes for the\n"
      "same pixels. Rows are compressed in blocks of a fixed number of rows\n"
      "(set by the row length) on the worker threads, as soon as a block is\n"
      "whole.\n\n"
      "The file appears at ``path`` only when :meth:`close` finds every row\n"
      "written; until then it is a temporary file beside it, which\n"
      ":meth:`abort`, a failure, or dropping the writer removes. As a context\n"
      "manager it closes on leaving the block, or aborts when the block raises.");
  spec.methods = {
      method<write_rows>("write_rows($self, pixels)\n--\n\n"
                         "Append whole rows, top to bottom: ``pixels`` is any C-contiguous\n"
                         "bytes-like object of ``k * width * channels * bits / 8`` bytes\n"
                         "(16-bit samples in the machine's byte order). ``ValueError``,\n"
                         "writing nothing, when it is not whole rows, holds more rows than\n"
                         "remain, or follows :meth:`write_deflated`."),
      method<write_deflated>("write_deflated($self, deflated, adler32, rows)\n--\n\n"
                             "Append ``rows`` rows that :func:`png_blocks` filtered and\n"
                             "deflated elsewhere: its ``(deflated, adler32)``. ``ValueError``,\n"
                             "writing nothing, after the rows of an unfinished block, or when\n"
                             "the rows are not whole blocks and do not end the image."),
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

// Errors are values: every core operation returns its result or an Error.
// Only the Python binding turns an Error into an exception.
#pragma once

#include <cstdint>
#include <cstdio>
#include <expected>
#include <string>
#include <utility>

namespace veldra {

enum class ErrorKind {
  InvalidInput,  // the caller's arguments were rejected; the message says why
  Io,            // the operating system or an encoder failed
  OutOfMemory,   // a buffer could not be allocated (or its size overflows)
  Internal,      // a worker thread could not start or failed, or two checks disagreed
  Interrupted,   // the caller asked the call to stop (lib/interruption.hpp)
};

struct Error {
  ErrorKind kind;
  std::string message;
  // For an Io error the operating system reported: its errno and the file
  // concerned, so that callers can tell the kinds apart; 0 otherwise.
  int os_errno = 0;
  std::string path = {};
};

template <typename T>
using Result = std::expected<T, Error>;

// Success or an Error, for operations without a value.
using Status = std::expected<void, Error>;

inline std::unexpected<Error> invalid_input(std::string message) {
  return std::unexpected(Error{ErrorKind::InvalidInput, std::move(message)});
}

// An Io error without an errno (an encoder's complaint, a short write).
inline std::unexpected<Error> io_error(std::string message) {
  return std::unexpected(Error{ErrorKind::Io, std::move(message)});
}

// A request that could not be had, when its size is not known.
inline std::unexpected<Error> out_of_memory() {
  return std::unexpected(Error{ErrorKind::OutOfMemory, "Out of memory"});
}

// `count` items of `item_bytes` bytes each that could not be had (or whose
// size overflows): "Cannot allocate 68719476736 values of 8 bytes (512 GiB)".
inline std::unexpected<Error> out_of_memory(std::uint64_t count, std::uint64_t item_bytes) {
  std::string size;
  std::uint64_t bytes;
  if (__builtin_mul_overflow(count, item_bytes, &bytes)) {
    size = "more than 16 EiB";
  } else {
    const char* units[] = {"bytes", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double amount = static_cast<double>(bytes);
    int unit = 0;
    while (amount >= 1024 && unit < 6) {
      amount /= 1024;
      ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", amount);
    size = text;
    if (size.ends_with(".0")) size.resize(size.size() - 2);
    size = size + " " + units[unit];
  }
  return std::unexpected(Error{ErrorKind::OutOfMemory,
                               "Cannot allocate " + std::to_string(count) + " values of " +
                                   std::to_string(item_bytes) + " bytes (" + size + ")"});
}

inline std::unexpected<Error> internal_error(std::string message) {
  return std::unexpected(Error{ErrorKind::Internal, std::move(message)});
}

// The caller asked the running call to stop; the work done is discarded.
inline std::unexpected<Error> interrupted() {
  return std::unexpected(Error{ErrorKind::Interrupted, "interrupted"});
}

}  // namespace veldra

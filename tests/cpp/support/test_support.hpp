// Helpers shared by the C++ tests: fields and renderers that must exist,
// pixels by (column, row) as Image::pixel takes them, and thread starters
// that refuse, for failure injection.
#pragma once

#include <functional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "image/renderer.hpp"

namespace veldra::test {

inline Instance field_of(std::vector<std::uint64_t> dims, std::uint64_t seed = 7) {
  return *Instance::create(std::move(dims), seed);
}

inline Renderer renderer_of(std::vector<std::uint64_t> dims, std::uint64_t seed = 7) {
  return *Renderer::create(Field(field_of(std::move(dims), seed)));
}

inline Rgb pixel(const Image& image, std::uint64_t col, std::uint64_t row) {
  const std::size_t at = (row * image.width + col) * 3;
  return {image.pixels[at], image.pixels[at + 1], image.pixels[at + 2]};
}

// The error message of a result, or "" for a value.
template <typename T>
std::string message_of(const Result<T>& result) {
  return result ? "" : result.error().message;
}

// A thread starter that always refuses, like a system out of threads.
inline std::thread refuse_to_start(std::function<void()>) {
  throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

}  // namespace veldra::test

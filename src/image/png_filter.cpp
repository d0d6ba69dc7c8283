// Each filter is written once for one byte and once for sixteen bytes in
// SSE2 lanes (every x86-64 processor has them), where each lane does the
// byte's integer steps; a row's bytes are the same either way.
#include "image/png_filter.hpp"

#include <emmintrin.h>

#include <cstdlib>

namespace veldra {
namespace {

enum Filter : std::uint8_t { Sub = 1, Up = 2, Average = 3, Paeth = 4 };

// The byte taken as signed, its absolute value: what a filter's choice sums.
std::uint8_t magnitude(std::uint8_t v) { return v < 128 ? v : static_cast<std::uint8_t>(256 - v); }

std::uint8_t paeth(int a, int b, int c) {
  const int pa = std::abs(b - c);
  const int pb = std::abs(a - c);
  const int pc = std::abs(a + b - 2 * c);
  return static_cast<std::uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// The byte of filter `type` for x, given its neighbours to the left (a),
// above (b) and above left (c).
std::uint8_t filtered(Filter type, int x, int a, int b, int c) {
  switch (type) {
    case Sub: return static_cast<std::uint8_t>(x - a);
    case Up: return static_cast<std::uint8_t>(x - b);
    case Average: return static_cast<std::uint8_t>(x - (a + b) / 2);
    case Paeth: break;
  }
  return static_cast<std::uint8_t>(x - paeth(a, b, c));
}

// Sixteen bytes and their neighbours, as filtered() takes one.
struct Lanes {
  __m128i x, a, b, c;
};

Lanes load(const std::uint8_t* row, const std::uint8_t* above, std::uint64_t i,
           std::uint64_t pixel_bytes) {
  const auto at = [](const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
  return {at(row + i), at(row + i - pixel_bytes), at(above + i), at(above + i - pixel_bytes)};
}

// |v| of 16-bit lanes holding -510..510.
__m128i absolute16(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }

// where mask ? yes : no, lane by lane.
__m128i select(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// paeth() of each lane, its distances in 16 bits, which hold them exactly.
__m128i paeth(const Lanes& n) {
  const __m128i zero = _mm_setzero_si128();
  __m128i take_a[2];
  __m128i take_b[2];
  for (int half = 0; half < 2; ++half) {
    const auto widen = [&](__m128i v) {
      return half == 0 ? _mm_unpacklo_epi8(v, zero) : _mm_unpackhi_epi8(v, zero);
    };
    const __m128i a = widen(n.a);
    const __m128i b = widen(n.b);
    const __m128i c = widen(n.c);
    const __m128i pa = absolute16(_mm_sub_epi16(b, c));
    const __m128i pb = absolute16(_mm_sub_epi16(a, c));
    const __m128i pc = absolute16(_mm_sub_epi16(_mm_add_epi16(a, b), _mm_add_epi16(c, c)));
    take_a[half] = _mm_andnot_si128(_mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc)),
                                    _mm_set1_epi16(-1));
    take_b[half] = _mm_andnot_si128(_mm_cmpgt_epi16(pb, pc), _mm_set1_epi16(-1));
  }
  // Masks of 0 or -1 pack to bytes of 0 or 0xFF.
  const __m128i mask_a = _mm_packs_epi16(take_a[0], take_a[1]);
  const __m128i mask_b = _mm_packs_epi16(take_b[0], take_b[1]);
  return select(mask_a, n.a, select(mask_b, n.b, n.c));
}

// filtered() of each lane.
template <Filter type>
__m128i filtered(const Lanes& n) {
  if constexpr (type == Sub) return _mm_sub_epi8(n.x, n.a);
  if constexpr (type == Up) return _mm_sub_epi8(n.x, n.b);
  if constexpr (type == Average) {
    // _mm_avg_epu8 rounds (a + b) / 2 up; an odd sum is one less.
    const __m128i odd = _mm_and_si128(_mm_xor_si128(n.a, n.b), _mm_set1_epi8(1));
    return _mm_sub_epi8(n.x, _mm_sub_epi8(_mm_avg_epu8(n.a, n.b), odd));
  }
  if constexpr (type == Paeth) return _mm_sub_epi8(n.x, paeth(n));
}

// The sum of magnitude() over the lanes, in the two halves' 64-bit lanes.
__m128i magnitudes(__m128i v) {
  const __m128i zero = _mm_setzero_si128();
  return _mm_sad_epu8(_mm_min_epu8(v, _mm_sub_epi8(zero, v)), zero);
}

std::uint64_t total(__m128i sums) {
  return static_cast<std::uint64_t>(_mm_cvtsi128_si64(sums)) +
         static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
}

// Row bytes from `lead` in whole lanes of 16, where the lanes take over.
std::uint64_t lanes_end(std::uint64_t lead, std::uint64_t row_bytes) {
  return lead + (row_bytes - lead) / 16 * 16;
}

template <Filter type>
void write_filtered(const std::uint8_t* row, const std::uint8_t* above, std::uint64_t lead,
                    std::uint64_t row_bytes, std::uint64_t pixel_bytes, std::uint8_t* out) {
  const std::uint64_t end = lanes_end(lead, row_bytes);
  std::uint64_t i = lead;
  for (; i < end; i += 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     filtered<type>(load(row, above, i, pixel_bytes)));
  }
  for (; i < row_bytes; ++i) {
    out[i] = filtered(type, row[i], row[i - pixel_bytes], above[i], above[i - pixel_bytes]);
  }
}

}  // namespace

void filter_row(const std::uint8_t* row, const std::uint8_t* above, std::uint64_t row_bytes,
                std::uint64_t pixel_bytes, std::uint8_t* out) {
  // The first pixel's bytes have no left neighbours: a and c are 0.
  const std::uint64_t lead = row_bytes < pixel_bytes ? row_bytes : pixel_bytes;
  std::uint64_t sums[4] = {0, 0, 0, 0};
  const Filter filters[4] = {Sub, Up, Average, Paeth};
  for (std::uint64_t i = 0; i < lead; ++i) {
    for (int f = 0; f < 4; ++f) sums[f] += magnitude(filtered(filters[f], row[i], 0, above[i], 0));
  }
  const std::uint64_t end = lanes_end(lead, row_bytes);
  __m128i lanes[4] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
  for (std::uint64_t i = lead; i < end; i += 16) {
    const Lanes n = load(row, above, i, pixel_bytes);
    lanes[0] = _mm_add_epi64(lanes[0], magnitudes(filtered<Sub>(n)));
    lanes[1] = _mm_add_epi64(lanes[1], magnitudes(filtered<Up>(n)));
    lanes[2] = _mm_add_epi64(lanes[2], magnitudes(filtered<Average>(n)));
    lanes[3] = _mm_add_epi64(lanes[3], magnitudes(filtered<Paeth>(n)));
  }
  for (int f = 0; f < 4; ++f) sums[f] += total(lanes[f]);
  for (std::uint64_t i = end; i < row_bytes; ++i) {
    const int x = row[i], a = row[i - pixel_bytes], b = above[i], c = above[i - pixel_bytes];
    for (int f = 0; f < 4; ++f) sums[f] += magnitude(filtered(filters[f], x, a, b, c));
  }
  int best = 0;
  for (int f = 1; f < 4; ++f) {
    if (sums[f] < sums[best]) best = f;
  }
  const Filter type = filters[best];
  out[0] = type;
  std::uint8_t* bytes = out + 1;
  for (std::uint64_t i = 0; i < lead; ++i) bytes[i] = filtered(type, row[i], 0, above[i], 0);
  switch (type) {
    case Sub: return write_filtered<Sub>(row, above, lead, row_bytes, pixel_bytes, bytes);
    case Up: return write_filtered<Up>(row, above, lead, row_bytes, pixel_bytes, bytes);
    case Average: return write_filtered<Average>(row, above, lead, row_bytes, pixel_bytes, bytes);
    case Paeth: return write_filtered<Paeth>(row, above, lead, row_bytes, pixel_bytes, bytes);
  }
}

}  // namespace veldra

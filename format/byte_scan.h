// Fast search for the bytes a scan must stop at; 16 bytes at a time where
// the processor has SSE2, byte by byte elsewhere.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tagfmt {

// Position of the first byte in data[from, size) that is (with kIn true)
// or is not (with kIn false) one of `kNeedles`, or `size` when there is none.
template <bool kIn, char... kNeedles>
inline std::size_t findFirst(const char* data, std::size_t from,
                             std::size_t size) {
  std::size_t pos = from;
#if defined(__SSE2__)
  while (size - pos >= 16) {
    const __m128i block =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
    __m128i hits = _mm_setzero_si128();
    ((hits =
          _mm_or_si128(hits, _mm_cmpeq_epi8(block, _mm_set1_epi8(kNeedles)))),
     ...);
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    if (!kIn) mask = ~mask & 0xFFFFu;
    if (mask != 0) {
      return pos + static_cast<std::size_t>(std::countr_zero(mask));
    }
    pos += 16;
  }
#endif
  for (; pos < size; ++pos) {
    if (((data[pos] == kNeedles) || ...) == kIn) return pos;
  }
  return size;
}

// The first byte that is one of `kNeedles`.
template <char... kNeedles>
inline std::size_t findAny(const char* data, std::size_t from,
                           std::size_t size) {
  return findFirst<true, kNeedles...>(data, from, size);
}

// The first byte that is none of `kNeedles`.
template <char... kNeedles>
inline std::size_t findNotAny(const char* data, std::size_t from,
                              std::size_t size) {
  return findFirst<false, kNeedles...>(data, from, size);
}

// A plain tag (no quote, no line break) nearly always ends within this
// many bytes; looking no further keeps a miss cheap.
inline constexpr std::size_t kPlainTagReach = 64;

// Most tags hold no quote and no line break, so their closing ">" is simply
// the first ">": found in one look, without the scanner's quote bookkeeping.
// Returns its position for the tag whose "<" is at `start`, or `size` when
// the construct is not that plain.
inline std::size_t findPlainTagEnd(const char* data, std::size_t start,
                                   std::size_t size) {
  const std::size_t reach = std::min(size - start, kPlainTagReach);
  const std::size_t at =
      findAny<'>', '"', '\'', '\n', '\0'>(data, start, start + reach);
  return at < start + reach && data[at] == '>' ? at : size;
}

// What one look at a text tells: whether it holds a NUL byte, and whether
// every line break in it is a CR LF already.
struct TextShape {
  bool hasNul = false;
  bool allCrLf = true;
};

inline TextShape examineText(const char* data, std::size_t size) {
  TextShape shape;
  std::size_t pos = 0;
  unsigned carry = 0;  // a CR ended the previous block
#if defined(__SSE2__)
  unsigned nuls = 0;
  unsigned strayBreaks = 0;
  for (; size - pos >= 16; pos += 16) {
    const __m128i block =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
    const auto maskOf = [&block](char byte) {
      return static_cast<unsigned>(
          _mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(byte))));
    };
    const unsigned cr = maskOf('\r');
    // Each LF must sit exactly one place after a CR, and each CR before an LF.
    strayBreaks |= (((cr << 1) | carry) & 0xFFFFu) ^ maskOf('\n');
    nuls |= maskOf('\0');
    carry = cr >> 15;
  }
  shape.hasNul = nuls != 0;
  shape.allCrLf = strayBreaks == 0;
#endif
  for (; pos < size; ++pos) {
    if (data[pos] == '\0') shape.hasNul = true;
    if ((data[pos] == '\n') != (carry != 0)) shape.allCrLf = false;
    carry = data[pos] == '\r' ? 1 : 0;
  }
  if (carry != 0) shape.allCrLf = false;
  return shape;
}

}  // namespace tagfmt

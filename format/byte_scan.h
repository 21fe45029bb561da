// Fast search for the bytes a scan must stop at; 16 bytes at a time where
// the processor has SSE2, byte by byte elsewhere.
#pragma once

#include <bit>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tagfmt {

// Position of the first byte in data[from, size) that equals one of
// `kNeedles`, or `size` when there is none.
template <char... kNeedles>
inline std::size_t findAny(const char* data, std::size_t from,
                           std::size_t size) {
  std::size_t pos = from;
#if defined(__SSE2__)
  while (size - pos >= 16) {
    const __m128i block =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
    __m128i hits = _mm_setzero_si128();
    ((hits = _mm_or_si128(hits, _mm_cmpeq_epi8(block, _mm_set1_epi8(kNeedles)))),
     ...);
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    if (mask != 0) return pos + static_cast<std::size_t>(std::countr_zero(mask));
    pos += 16;
  }
#endif
  for (; pos < size; ++pos) {
    if (((data[pos] == kNeedles) || ...)) return pos;
  }
  return size;
}

// True when every LF in data[0, size) directly follows a CR and every CR
// directly precedes an LF: all line breaks are CR LF.
inline bool allBreaksAreCrLf(const char* data, std::size_t size) {
  std::size_t pos = 0;
  unsigned carry = 0;  // a CR ended the previous block
#if defined(__SSE2__)
  for (; size - pos >= 16; pos += 16) {
    const __m128i block =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
    const auto cr = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8('\r'))));
    const auto lf = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8('\n'))));
    // Each LF must sit exactly one place after a CR, and each CR before an LF.
    if ((((cr << 1) | carry) & 0xFFFFu) != lf) return false;
    carry = cr >> 15;
  }
#endif
  for (; pos < size; ++pos) {
    const bool isLf = data[pos] == '\n';
    if (isLf != (carry != 0)) return false;
    carry = data[pos] == '\r' ? 1 : 0;
  }
  return carry == 0;
}

}  // namespace tagfmt

// Fast search for the bytes a scan must stop at; 16 bytes at a time where
// the processor has SSE2, byte by byte elsewhere.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

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

// A tag on one line nearly always ends within this many bytes; looking no
// further keeps a miss cheap.
inline constexpr std::size_t kPlainTagReach = 256;

// Most tags stand on one line, so their closing ">" is the first one outside
// quotes, and each quoted value ends at the next quote of its kind: a few
// looks, without the scanner's bookkeeping. Returns the ">" for the tag
// whose "<" is at `start`, or `size` when the tag is not that plain (a line
// break or NUL before its end, or no end within kPlainTagReach). This is
// the portable way, and the fast way's fallback.
inline std::size_t findPlainTagEndPortable(const char* data, std::size_t start,
                                           std::size_t size) {
  const std::size_t reach = start + std::min(size - start, kPlainTagReach);
  std::size_t at = start;
  while (true) {
    at = findAny<'>', '"', '\'', '\n', '\0'>(data, at, reach);
    if (at == reach) return size;
    const char found = data[at];
    if (found == '>') return at;
    if (found == '"') {
      at = findAny<'"', '\n', '\0'>(data, at + 1, reach);
    } else if (found == '\'') {
      at = findAny<'\'', '\n', '\0'>(data, at + 1, reach);
    } else {
      return size;
    }
    if (at == reach || data[at] != found) return size;
    ++at;
  }
}

#if defined(__SSE2__)
inline constexpr int kTagBlockOpen = -2;

// Where a tag ends within the kParts x 16 bytes from its "<", when they
// hold quotes of one kind only: then a running parity of the quote bits
// tells which bytes lie inside quotes, with no branch per value. Returns
// the offset of the ">", -1 when the tag is not plain, or kTagBlockOpen
// when the block does not settle it.
template <int kParts>
inline int plainTagEndInBlock(const char* data) {
  std::uint64_t closers = 0, doubles = 0, singles = 0, stops = 0;
  for (int i = 0; i < kParts; ++i) {
    const __m128i block =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(data) + i);
    const auto maskOf = [&block](char byte) {
      return std::uint64_t{static_cast<std::uint16_t>(
          _mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(byte))))};
    };
    closers |= maskOf('>') << (16 * i);
    doubles |= maskOf('"') << (16 * i);
    singles |= maskOf('\'') << (16 * i);
    stops |= (maskOf('\n') | maskOf('\0')) << (16 * i);
  }
  if (doubles != 0 && singles != 0) return kTagBlockOpen;
  std::uint64_t inside = doubles | singles;
  // Short tags mostly have no value, and need no parity.
  for (int shift = 1; inside != 0 && shift < 16 * kParts; shift *= 2) {
    inside ^= inside << shift;
  }
  stops |= closers & ~inside;
  if (stops == 0) return kTagBlockOpen;
  const int bit = std::countr_zero(stops);
  return ((closers >> bit) & 1) != 0 ? bit : -1;
}
#endif

// findPlainTagEndPortable's answer; a short tag, or a longer one with quotes
// of one kind, settled a block at a time where the processor has SSE2.
inline std::size_t findPlainTagEnd(const char* data, std::size_t start,
                                   std::size_t size) {
#if defined(__SSE2__)
  static_assert(kPlainTagReach >= 64);
  if (size - start >= 64) {
    int bit = plainTagEndInBlock<1>(data + start);
    if (bit == kTagBlockOpen) bit = plainTagEndInBlock<4>(data + start);
    if (bit >= 0) return start + static_cast<unsigned>(bit);
    if (bit == -1) return size;
  }
#endif
  return findPlainTagEndPortable(data, start, size);
}

// What one look at a text tells: whether it holds a NUL byte, and whether
// every line break in it is a CR LF already.
struct TextShape {
  bool hasNul = false;
  bool allCrLf = true;
  bool operator==(const TextShape&) const = default;
};

// One look at the whole text, the widest way the processor allows: AVX2
// where it has it (chosen when the program starts), else SSE2, else byte by
// byte.
TextShape examineText(const char* data, std::size_t size);

// The ways examineText may take, for the tests and fuzzers to compare; a
// way the processor or the build lacks gives examineTextPortable's answer.
TextShape examineTextPortable(const char* data, std::size_t size);
TextShape examineTextSse2(const char* data, std::size_t size);
TextShape examineTextAvx2(const char* data, std::size_t size);

}  // namespace tagfmt

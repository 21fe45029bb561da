// The look at a whole text, in its portable, SSE2 and AVX2 forms, and the
// choice among them for the processor at hand.
#include "format/byte_scan.h"

#include <cstdint>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TAGFMT_HAS_AVX2_PATH 1
#include <immintrin.h>
#endif

namespace tagfmt {

namespace {

// Each LF must sit exactly one place after a CR, and each CR before an LF:
// the bytes from `pos` on, with `carry` set when a CR came just before.
TextShape examineTail(const char* data, std::size_t pos, std::size_t size,
                      unsigned carry, TextShape shape) {
  for (; pos < size; ++pos) {
    if (data[pos] == '\0') shape.hasNul = true;
    if ((data[pos] == '\n') != (carry != 0)) shape.allCrLf = false;
    carry = data[pos] == '\r' ? 1 : 0;
  }
  if (carry != 0) shape.allCrLf = false;
  return shape;
}

}  // namespace

TextShape examineTextPortable(const char* data, std::size_t size) {
  return examineTail(data, 0, size, 0, {});
}

TextShape examineTextSse2(const char* data, std::size_t size) {
#if defined(__SSE2__)
  std::size_t pos = 0;
  unsigned carry = 0;  // a CR ended the previous block
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
    strayBreaks |= (((cr << 1) | carry) & 0xFFFFu) ^ maskOf('\n');
    nuls |= maskOf('\0');
    carry = cr >> 15;
  }
  return examineTail(data, pos, size, carry, {nuls != 0, strayBreaks == 0});
#else
  return examineTextPortable(data, size);
#endif
}

#if defined(TAGFMT_HAS_AVX2_PATH)
namespace {

// Built for AVX2 alone: called only where the processor has it.
__attribute__((target("avx2"))) TextShape examineAvx2(const char* data,
                                                      std::size_t size) {
  std::size_t pos = 0;
  std::uint64_t carry = 0;
  std::uint64_t nuls = 0;
  std::uint64_t strayBreaks = 0;
  const __m256i crs = _mm256_set1_epi8('\r');
  const __m256i lfs = _mm256_set1_epi8('\n');
  const __m256i zeros = _mm256_setzero_si256();
  for (; size - pos >= 32; pos += 32) {
    const __m256i block =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + pos));
    const std::uint64_t cr = static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(block, crs)));
    const std::uint64_t lf = static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(block, lfs)));
    strayBreaks |= (((cr << 1) | carry) & 0xFFFFFFFFu) ^ lf;
    nuls |= static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(block, zeros)));
    carry = cr >> 31;
  }
  return examineTail(data, pos, size, static_cast<unsigned>(carry),
                     {nuls != 0, strayBreaks == 0});
}

bool hasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

}  // namespace

TextShape examineTextAvx2(const char* data, std::size_t size) {
  return hasAvx2() ? examineAvx2(data, size) : examineTextPortable(data, size);
}
#else
TextShape examineTextAvx2(const char* data, std::size_t size) {
  return examineTextPortable(data, size);
}
#endif

TextShape examineText(const char* data, std::size_t size) {
#if defined(TAGFMT_HAS_AVX2_PATH)
  if (hasAvx2()) return examineAvx2(data, size);
#endif
  return examineTextSse2(data, size);
}

}  // namespace tagfmt

// libFuzzer target: the ways of looking at a whole text (portable, SSE2,
// AVX2 and the one the processor picks) give one answer for every text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "format/byte_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const char* const text = reinterpret_cast<const char*>(data);
  const tagfmt::TextShape portable = tagfmt::examineTextPortable(text, size);
  if (tagfmt::examineTextSse2(text, size) != portable ||
      tagfmt::examineTextAvx2(text, size) != portable ||
      tagfmt::examineText(text, size) != portable) {
    std::fprintf(stderr, "property broken: the ways of looking disagree\n");
    std::abort();
  }
  return 0;
}

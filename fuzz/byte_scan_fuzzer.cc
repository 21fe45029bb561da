// libFuzzer target: the ways of looking at a whole text (portable, SSE2,
// AVX2 and the one the processor picks) give one answer for every text, and
// so do the two ways of finding a plain tag's end, from every "<".
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
  for (std::size_t start = 0; start < size; ++start) {
    if (start > 0 && text[start] != '<') continue;
    if (tagfmt::findPlainTagEnd(text, start, size) !=
        tagfmt::findPlainTagEndPortable(text, start, size)) {
      std::fprintf(stderr, "property broken: tag ends disagree at %zu\n",
                   start);
      std::abort();
    }
  }
  return 0;
}

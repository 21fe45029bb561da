// libFuzzer target for line-end normalisation and the comparison that
// avoids building its result: each is checked against the other and against
// properties of CR LF text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "format/line_ends.h"
#include "fuzz/require.h"

namespace {

using tagfmt::normalisedEquals;
using tagfmt::normaliseLineEnds;
using tagfmt::normaliseLineEndsInPlace;

using tagfmt::fuzz::require;

std::string withoutBreaks(std::string_view text) {
  std::string kept;
  for (const char c : text) {
    if (c != '\r' && c != '\n') kept += c;
  }
  return kept;
}

// Line breaks in `text`: CR LF, LF or a lone CR each count once.
std::size_t breakCount(std::string_view text) {
  std::size_t breaks = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) ++breaks;
    if (text[i] == '\r') ++breaks;
  }
  return breaks;
}

}  // namespace

// The first byte says where to cut the rest in two for the comparison.
// NOLINTNEXTLINE(readability-identifier-naming): the name libFuzzer calls
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1,
                              size - 1);
  const std::string normal = normaliseLineEnds(text);

  for (std::size_t i = 0; i < normal.size(); ++i) {
    if (normal[i] == '\r') {
      require(i + 1 < normal.size() && normal[i + 1] == '\n',
              "CR only before LF");
    }
    if (normal[i] == '\n') {
      require(i > 0 && normal[i - 1] == '\r', "LF only after CR");
    }
  }
  require(withoutBreaks(normal) == withoutBreaks(text),
          "only CR and LF bytes change");
  require(breakCount(normal) == breakCount(text), "every break is kept");
  require(normaliseLineEnds(normal) == normal, "normalising twice is a no-op");
  std::string inPlace(text);
  normaliseLineEndsInPlace(inPlace);
  require(inPlace == normal, "in place gives the same text");
  require(normalisedEquals(text, normal), "the text matches its own result");
  require(!normalisedEquals(text, normal + "x"), "a longer text differs");
  if (!normal.empty()) {
    require(!normalisedEquals(
                text, std::string_view(normal).substr(0, normal.size() - 1)),
            "a shorter text differs");
  }

  // The comparison agrees with building the result, on any pair.
  const std::size_t cut = text.size() * data[0] / 256;
  const std::string_view first = text.substr(0, cut);
  const std::string_view second = text.substr(cut);
  require(
      normalisedEquals(first, second) == (normaliseLineEnds(first) == second),
      "the comparison agrees with the normalisation");
  return 0;
}

// Line-end normalisation, done run by run between line breaks.
#include "format/line_ends.h"

#include <cstring>

#include "format/byte_scan.h"

namespace tagfmt {

namespace {

// The next CR or LF at or after `pos`, or the text's size.
std::size_t nextBreak(std::string_view text, std::size_t pos) {
  return findAny<'\r', '\n'>(text.data(), pos, text.size());
}

// Length of the break at `pos`: 2 for CR LF, else 1.
std::size_t breakLength(std::string_view text, std::size_t pos) {
  return text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n'
             ? 2
             : 1;
}

// How many bytes normalising adds: one for each lone CR or LF.
std::size_t extraBytes(std::string_view text) {
  std::size_t grown = 0;
  for (std::size_t pos = nextBreak(text, 0); pos < text.size();
       pos = nextBreak(text, pos + breakLength(text, pos))) {
    grown += 2 - breakLength(text, pos);
  }
  return grown;
}

}  // namespace

std::string normaliseLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size() + extraBytes(text));
  std::size_t runStart = 0;
  while (runStart < text.size()) {
    const std::size_t brk = nextBreak(text, runStart);
    out.append(text.data() + runStart, brk - runStart);
    if (brk == text.size()) break;
    out.append("\r\n", 2);
    runStart = brk + breakLength(text, brk);
  }
  return out;
}

void normaliseLineEndsInPlace(std::string& text) {
  // The pass writes its own breaks as CR LF, so this is the common case,
  // and the quick look costs a fraction of the count.
  if (isNormalised(text)) return;
  const std::size_t grown = extraBytes(text);
  if (grown == 0) return;
  // From the back, so every byte moves once and only to a place already
  // read.
  std::size_t from = text.size();
  text.resize(text.size() + grown);
  char* const bytes = text.data();
  std::size_t to = text.size();
  while (from > 0) {
    std::size_t runStart = from;
    while (runStart > 0 && bytes[runStart - 1] != '\n' &&
           bytes[runStart - 1] != '\r') {
      --runStart;
    }
    to -= from - runStart;
    std::memmove(bytes + to, bytes + runStart, from - runStart);
    if (runStart == 0) break;
    const bool crLf = bytes[runStart - 1] == '\n' && runStart >= 2 &&
                      bytes[runStart - 2] == '\r';
    from = runStart - (crLf ? 2 : 1);
    to -= 2;
    bytes[to] = '\r';
    bytes[to + 1] = '\n';
  }
}

bool isNormalised(std::string_view text) {
  return examineText(text.data(), text.size()).allCrLf;
}

bool normalisedEquals(std::string_view text, std::string_view original) {
  if (text.data() == original.data() && text.size() == original.size()) {
    return isNormalised(text);
  }
  std::size_t runStart = 0;
  std::size_t at = 0;  // position in `original`
  while (runStart < text.size()) {
    const std::size_t brk = nextBreak(text, runStart);
    const std::size_t length = brk - runStart;
    if (original.size() - at < length ||
        std::memcmp(text.data() + runStart, original.data() + at, length) !=
            0) {
      return false;
    }
    at += length;
    if (brk == text.size()) break;
    if (original.substr(at, 2) != "\r\n") return false;
    at += 2;
    runStart = brk + breakLength(text, brk);
  }
  return at == original.size();
}

}  // namespace tagfmt

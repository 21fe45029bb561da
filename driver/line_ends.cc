// Line-end normalisation, done run by run between line breaks.
#include "driver/line_ends.h"

#include <algorithm>
#include <cstring>

namespace tagfmt {

namespace {

// Finds line breaks with memchr for each of CR and LF, remembering the next
// hit of each so every byte is searched once.
class BreakFinder {
 public:
  explicit BreakFinder(std::string_view text)
      : text_(text), nextCr_(find('\r', 0)), nextLf_(find('\n', 0)) {}

  // Position of the first CR or LF at or after `pos`, or the text's size.
  std::size_t next(std::size_t pos) {
    if (nextCr_ < pos) nextCr_ = find('\r', pos);
    if (nextLf_ < pos) nextLf_ = find('\n', pos);
    return std::min(nextCr_, nextLf_);
  }

  // Length of the break at `pos`: 2 for CR LF, else 1.
  std::size_t breakLength(std::size_t pos) const {
    return text_[pos] == '\r' && pos + 1 < text_.size() &&
                   text_[pos + 1] == '\n'
               ? 2
               : 1;
  }

 private:
  std::size_t find(char byte, std::size_t from) const {
    const void* hit =
        std::memchr(text_.data() + from, byte, text_.size() - from);
    return hit == nullptr ? text_.size()
                          : static_cast<std::size_t>(
                                static_cast<const char*>(hit) - text_.data());
  }

  std::string_view text_;
  std::size_t nextCr_;
  std::size_t nextLf_;
};

}  // namespace

std::string normaliseLineEnds(std::string_view text) {
  std::size_t grown = 0;
  BreakFinder counter(text);
  for (std::size_t pos = counter.next(0); pos < text.size();
       pos = counter.next(pos + counter.breakLength(pos))) {
    grown += 2 - counter.breakLength(pos);
  }
  std::string out(text.size() + grown, '\0');
  char* to = out.data();
  BreakFinder finder(text);
  std::size_t runStart = 0;
  while (runStart < text.size()) {
    const std::size_t brk = finder.next(runStart);
    std::memcpy(to, text.data() + runStart, brk - runStart);
    to += brk - runStart;
    if (brk == text.size()) break;
    std::memcpy(to, "\r\n", 2);
    to += 2;
    runStart = brk + finder.breakLength(brk);
  }
  return out;
}

bool normalisedEquals(std::string_view text, std::string_view original) {
  BreakFinder finder(text);
  std::size_t runStart = 0;
  std::size_t at = 0;  // position in `original`
  while (runStart < text.size()) {
    const std::size_t brk = finder.next(runStart);
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
    runStart = brk + finder.breakLength(brk);
  }
  return at == original.size();
}

}  // namespace tagfmt

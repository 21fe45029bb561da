// What tidying must keep of a text, for the tests and fuzzers that check
// it on any input: its words, once pair markers are set aside.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "format/scanner.h"
#include "format/work_text.h"

namespace tagfmt::testing {

// One construct the scanner meets outside all others: [start, end).
struct ConstructSpan {
  std::size_t start;
  std::size_t end;
  bool pairMarker;
};

// The constructs of `text` as the pass meets them, found by the scanner's
// own rules, in order.
inline std::vector<ConstructSpan> constructSpans(std::string_view text) {
  std::vector<ConstructSpan> spans;
  std::string scratch;
  WorkText skipped(scratch, 0, text);
  ScanInput in{text, 0, 1};
  while ((in.pos = text.find('<', in.pos)) != std::string_view::npos) {
    const std::size_t start = in.pos;
    const std::string_view rest = text.substr(start);
    const char next = rest.size() > 1 ? rest[1] : '\0';
    const bool marker = startsWithPairMarker(rest);
    const char terminator = marker        ? kNoTerminator
                            : next == '!' ? '-'
                            : next == '?' ? '?'
                                          : kNoTerminator;
    scanConstruct(in, skipped, false, terminator, false, 0);
    spans.push_back({start, in.pos, marker});
  }
  return spans;
}

// `text` without the pair markers that stand outside every other
// construct: the ones the pass removes. A marker inside a comment or a tag
// stays, as it does in the pass.
inline std::string withoutPairMarkers(std::string_view text) {
  std::string kept;
  kept.reserve(text.size());
  std::size_t copiedTo = 0;
  for (const ConstructSpan& span : constructSpans(text)) {
    if (!span.pairMarker) continue;
    kept.append(text.substr(copiedTo, span.start - copiedTo));
    copiedTo = span.end;
  }
  kept.append(text.substr(copiedTo));
  return kept;
}

// The maximal runs of bytes that are neither blank, CR, LF, "<" nor ">".
inline std::vector<std::string_view> words(std::string_view text) {
  std::vector<std::string_view> found;
  const auto separates = [](char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' ||
           c == '\n' || c == '<' || c == '>';
  };
  std::size_t start = 0;
  for (std::size_t pos = 0; pos <= text.size(); ++pos) {
    if (pos == text.size() || separates(text[pos])) {
      if (pos > start) found.push_back(text.substr(start, pos - start));
      start = pos + 1;
    }
  }
  return found;
}

// True when tidying kept every word of `before` in `after`.
inline bool sameWords(std::string_view before, std::string_view after) {
  const std::string a = withoutPairMarkers(before);
  const std::string b = withoutPairMarkers(after);
  return words(a) == words(b);
}

}  // namespace tagfmt::testing

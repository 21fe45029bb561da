// The construct scanner: copies or skips one tag, comment, declaration or
// processing instruction, and writes pair markers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "format/work_text.h"

namespace tagfmt {

// The input side of the pass: the text, where the pass stands in it and the
// file's line counter (lines count from 1).
struct ScanInput {
  std::string_view text;
  std::size_t pos = 0;
  std::uint64_t line = 1;
};

inline constexpr char kNoTerminator = '\0';

// Copies (or, with `copy` false, skips) the construct starting at the "<" at
// `in.pos` through its closing ">": the first ">" outside quotes, and with a
// terminator only one directly preceded by that byte. Counts each LF inside.
// In marker mode a positive `markerNumber` appends "<!--@N@-->" after the
// construct. A construct with no closing ">" runs to the end of the text.
// Returns true when the closing ">" was found.
bool scanConstruct(ScanInput& in, WorkText& out, bool markerMode,
                   char terminator, bool copy, std::int64_t markerNumber);

// True when `text` begins with a pair marker as the tool writes it:
// "<!--@", decimal digits, "@-->". Other comments that begin "<!--@" (such
// as "<!--@@ doc -->") are the author's and are kept. Inline: the pass and
// the content check ask at nearly every tag, which the second byte settles.
inline bool startsWithPairMarker(std::string_view text) {
  if (text.size() < 5 || text[1] != '!' || !text.starts_with("<!--@")) {
    return false;
  }
  std::size_t pos = 5;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
  return pos > 5 && text.substr(pos, 4) == "@-->";
}

}  // namespace tagfmt

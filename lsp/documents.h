// The open documents: their bytes, the editor's positions in them (lines
// and UTF-16 or UTF-8 code units), and changes applied by range.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "report/names.h"

namespace tagfmt::lsp {

enum class PositionEncoding { kUtf16, kUtf8 };

// A place in a document as the protocol gives it: a line counted from 0 and
// a count of code units into that line.
struct Position {
  std::uint64_t line = 0;
  std::uint64_t character = 0;
  bool operator==(const Position&) const = default;
};

// Where each line of a text starts. Lines end at LF, CR LF or a lone CR, as
// the protocol has it. A byte that does not begin well-formed UTF-8 counts
// as one code unit in either encoding, as the U+FFFD a client decodes it to.
class LineIndex {
 public:
  LineIndex(std::string_view text, PositionEncoding encoding);
  // The byte offset of `position`. A character past the end of its line
  // stands for the line's end (before its line break), a line past the last
  // for the end of the text, and a character inside a UTF-8 sequence for the
  // start of that sequence.
  std::size_t offset(Position position) const;
  // The position of the byte at `offset` (at most the text's size).
  Position position(std::size_t offset) const;
  // The first and one past the last byte of line `line`'s content, without
  // its line break.
  std::size_t lineStart(std::size_t line) const;
  std::size_t lineEnd(std::size_t line) const;

 private:
  std::string_view text_;
  PositionEncoding encoding_;
  std::vector<std::size_t> starts_;
};

// One open document.
struct Document {
  std::string text;
  std::int64_t version = 0;
  // Changed since its diagnostics were last published.
  bool dirty = true;
};

// Replaces the bytes between `from` and `to` (positions in `document`'s
// text) with `text`. Returns false, changing nothing, when the range runs
// backwards.
bool applyRangeChange(Document& document, Position from, Position to,
                      std::string_view text, PositionEncoding encoding);

}  // namespace tagfmt::lsp

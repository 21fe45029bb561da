// The few edits that turn a buffer into tagfmt's text, line by line, so
// that an editor keeps its cursor and marks on the lines that stay.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tagfmt::lsp {

// Replace before[from, to) with `text`.
struct ByteEdit {
  std::size_t from = 0;
  std::size_t to = 0;
  std::string text;
  bool operator==(const ByteEdit&) const = default;
};

// The edits, in order and not overlapping, that turn `before` into `after`:
// one per run of lines that differ, each line taken with its line break.
// When that takes more than `maxChangedLines` lines inserted and deleted, the
// lines between the first and the last difference become one edit, so that
// the work stays bounded.
std::vector<ByteEdit> lineEdits(std::string_view before, std::string_view after,
                                std::size_t maxChangedLines = 2000);

// `before` with `edits` applied.
std::string applyEdits(std::string_view before,
                       const std::vector<ByteEdit>& edits);

}  // namespace tagfmt::lsp

// The one line diff of the programs, for --diff and the language server's
// edits: lines split at LF, the edit script from dtl.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tagfmt {

using Lines = std::vector<std::string_view>;

// The lines of `text`, each with its LF; the last may have none. CR is an
// ordinary byte here, as it is to git apply and patch --binary.
Lines splitLines(std::string_view text);

// The pairs of common lines of a longest common run, as indices into
// `before` and `after`, in order.
std::vector<std::pair<std::size_t, std::size_t>> commonLines(
    const Lines& before, const Lines& after);

// Replace before[from, to) with `text`.
struct LineEdit {
  std::size_t from = 0;
  std::size_t to = 0;
  std::string text;
  bool operator==(const LineEdit&) const = default;
};

// The edits, in order and not overlapping, that turn `before` into `after`:
// one per run of whole lines that differ. When they insert and delete more
// than `maxChangedLines` lines, the lines between the first and the last
// difference become one edit, which an editor applies at once.
std::vector<LineEdit> lineEdits(std::string_view before, std::string_view after,
                                std::size_t maxChangedLines = 2000);

}  // namespace tagfmt

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

// Lines [oldFrom, oldTo) of the old text, all differing, become lines
// [newFrom, newTo) of the new; either may be empty.
struct ChangedRun {
  std::size_t oldFrom = 0;
  std::size_t oldTo = 0;
  std::size_t newFrom = 0;
  std::size_t newTo = 0;
  bool operator==(const ChangedRun&) const = default;
};

// Texts with more lines than this on a side are diffed a window of this
// many lines at a time.
inline constexpr std::size_t kDiffWindow = 32768;

// The runs of lines that differ between `before` and `after`, in order,
// each between common lines or an end. Up to kDiffWindow lines a side they
// come from one longest common run; longer texts are diffed a window at a
// time, keeping the common lines found in the first three quarters of
// each, so that memory stays bounded by the window whatever the texts'
// size. The result is always a true diff, if a longer one where a change
// spans windows.
std::vector<ChangedRun> changedRuns(std::string_view before,
                                    std::string_view after,
                                    std::size_t window = kDiffWindow);

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

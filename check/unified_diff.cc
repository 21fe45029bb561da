// Unified diffs of what tagfmt would write. The edit script comes from dtl;
// the hunks are put together here, so that every byte of a line, its CR
// included, stays as it is.
#include <dtl/dtl.hpp>

#include "check/check.h"

namespace tagfmt {

namespace {

constexpr std::size_t kContext = 3;

// The lines of `text`, each with its LF. CR is an ordinary byte here, as it
// is to git apply and patch --binary.
std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    const std::size_t next =
        end == std::string_view::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, next - start));
    start = next;
  }
  return lines;
}

// One line of the edit script: ' ', '-' or '+', and the line.
struct Edit {
  char mark;
  std::string_view line;
};

std::vector<Edit> editScript(std::string_view before, std::string_view after) {
  dtl::Diff<std::string_view> diff(splitLines(before), splitLines(after));
  diff.compose();
  std::vector<Edit> edits;
  for (const auto& [line, info] : diff.getSes().getSequence()) {
    const char mark = info.type == dtl::SES_ADD      ? '+'
                      : info.type == dtl::SES_DELETE ? '-'
                                                     : ' ';
    edits.push_back({mark, line});
  }
  return edits;
}

void appendLine(std::string& diff, const Edit& edit) {
  diff += edit.mark;
  diff += edit.line;
  if (!edit.line.ends_with('\n')) diff += "\n\\ No newline at end of file\n";
}

std::string range(std::size_t start, std::size_t count) {
  // An empty range names the line before it.
  return std::to_string(count == 0 ? start - 1 : start) + "," +
         std::to_string(count);
}

// The hunk of edits[from, to), whose first line is line `oldLine` of the
// old text and `newLine` of the new.
void appendHunk(std::string& diff, const std::vector<Edit>& edits,
                std::size_t from, std::size_t to, std::size_t oldLine,
                std::size_t newLine) {
  std::size_t oldCount = 0;
  std::size_t newCount = 0;
  for (std::size_t i = from; i < to; ++i) {
    oldCount += edits[i].mark != '+' ? 1 : 0;
    newCount += edits[i].mark != '-' ? 1 : 0;
  }
  diff += "@@ -" + range(oldLine, oldCount) + " +" + range(newLine, newCount) +
          " @@\n";
  for (std::size_t i = from; i < to; ++i) appendLine(diff, edits[i]);
}

// Where the hunk that starts with the change at `first` ends: after the
// last change that lies within 2 × kContext common lines of the one before.
std::size_t hunkEnd(const std::vector<Edit>& edits, std::size_t first) {
  std::size_t lastChange = first;
  for (std::size_t i = first; i < edits.size(); ++i) {
    if (edits[i].mark == ' ') {
      if (i - lastChange > 2 * kContext) break;
    } else {
      lastChange = i;
    }
  }
  return std::min(edits.size(), lastChange + 1 + kContext);
}

std::string headerPath(std::string_view path) {
  while (path.starts_with("./")) path.remove_prefix(2);
  return std::string(path);
}

}  // namespace

std::string unifiedDiff(std::string_view path, std::string_view before,
                        std::string_view after) {
  if (before == after) return {};
  const std::vector<Edit> edits = editScript(before, after);
  std::string diff =
      "--- a/" + headerPath(path) + "\n+++ b/" + headerPath(path) + "\n";
  std::size_t oldLine = 1;  // of edits[i]
  std::size_t newLine = 1;
  for (std::size_t i = 0; i < edits.size();) {
    if (edits[i].mark == ' ') {
      ++oldLine;
      ++newLine;
      ++i;
      continue;
    }
    const std::size_t from = i - std::min(i, kContext);
    // Step back over the leading context, which is all common lines.
    const std::size_t back = i - from;
    const std::size_t to = hunkEnd(edits, i);
    appendHunk(diff, edits, from, to, oldLine - back, newLine - back);
    for (; i < to; ++i) {
      oldLine += edits[i].mark != '+' ? 1 : 0;
      newLine += edits[i].mark != '-' ? 1 : 0;
    }
  }
  return diff;
}

}  // namespace tagfmt

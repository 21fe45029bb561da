// Unified diffs of what tagfmt would write. The common lines come from the
// one line diff; the hunks are put together here, so that every byte of a
// line, its CR included, stays as it is.
#include "check/unified_diff.h"

#include <algorithm>

#include "report/line_diff.h"

namespace tagfmt {

namespace {

constexpr std::size_t kContext = 3;

// One line of the edit script: ' ', '-' or '+', and the line.
struct Edit {
  char mark;
  std::string_view line;
};

std::vector<Edit> editScript(std::string_view beforeText,
                             std::string_view afterText) {
  const Lines before = splitLines(beforeText);
  const Lines after = splitLines(afterText);
  std::vector<Edit> edits;
  std::size_t oldAt = 0;
  std::size_t newAt = 0;
  const auto changesUpTo = [&](std::size_t oldEnd, std::size_t newEnd) {
    for (; oldAt < oldEnd; ++oldAt) edits.push_back({'-', before[oldAt]});
    for (; newAt < newEnd; ++newAt) edits.push_back({'+', after[newAt]});
  };
  for (const auto& [oldLine, newLine] : commonLines(before, after)) {
    changesUpTo(oldLine, newLine);
    edits.push_back({' ', before[oldAt]});
    ++oldAt;
    ++newAt;
  }
  changesUpTo(before.size(), after.size());
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

std::string headerPath(std::string_view path, std::string_view prefix) {
  if (!staysBelow(path)) return std::string(path);
  while (path.starts_with("./")) path.remove_prefix(2);
  return std::string(prefix) + std::string(path);
}

}  // namespace

std::string relativeBelow(std::string_view path, std::string_view folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
  if (folder.empty() || folder.front() != '/' || !path.starts_with(folder)) {
    return std::string(path);
  }
  std::string_view rest = path.substr(folder.size());
  if (folder != "/") {
    if (!rest.starts_with('/')) return std::string(path);
    rest.remove_prefix(1);
  }
  while (rest.starts_with('/')) rest.remove_prefix(1);
  return rest.empty() || !staysBelow(rest) ? std::string(path)
                                           : std::string(rest);
}

bool staysBelow(std::string_view path) {
  if (path.empty() || path.front() == '/' || path.front() == '\\' ||
      (path.size() > 1 && path[1] == ':')) {
    return false;
  }
  int depth = 0;
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (part == "..") {
      if (--depth < 0) return false;
    } else if (!part.empty() && part != ".") {
      ++depth;
    }
    start = end + 1;
  }
  return true;
}

std::string colourDiff(std::string_view diff) {
  std::string coloured;
  for (std::size_t start = 0; start < diff.size();) {
    std::size_t end = diff.find('\n', start);
    end = end == std::string_view::npos ? diff.size() : end;
    const std::string_view line = diff.substr(start, end - start);
    const char* colour = nullptr;
    if (line.starts_with("--- ") || line.starts_with("+++ ")) {
      colour = "\033[1m";
    } else if (line.starts_with("@@")) {
      colour = "\033[36m";
    } else if (line.starts_with("-")) {
      colour = "\033[31m";
    } else if (line.starts_with("+")) {
      colour = "\033[32m";
    }
    if (colour != nullptr) {
      coloured += colour;
      coloured += line;
      coloured += "\033[0m";
    } else {
      coloured += line;
    }
    if (end < diff.size()) coloured += '\n';
    start = end + 1;
  }
  return coloured;
}

std::string unifiedDiff(std::string_view path, std::string_view before,
                        std::string_view after) {
  if (before == after) return {};
  const std::vector<Edit> edits = editScript(before, after);
  std::string diff = "--- " + headerPath(path, "a/") + "\n+++ " +
                     headerPath(path, "b/") + "\n";
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

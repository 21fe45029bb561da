// Unified diffs of what tagfmt would write. The common lines come from the
// one line diff; the hunks are put together here, so that every byte of a
// line, its CR included, stays as it is.
#include "check/unified_diff.h"

#include <algorithm>

#include "report/line_diff.h"

namespace tagfmt {

namespace {

constexpr std::size_t kContext = 3;

std::string range(std::size_t start, std::size_t count) {
  // An empty range names the line before it.
  return std::to_string(count == 0 ? start - 1 : start) + "," +
         std::to_string(count);
}

// The lines of one text, handed on in order.
class LineWalk {
 public:
  explicit LineWalk(std::string_view text) : text_(text) {}
  std::size_t line() const { return line_; }
  // Hands on the lines up to line `to`, each after `mark`.
  void writeUpTo(std::size_t to, char mark, const DiffSink& write) {
    for (; line_ < to && at_ < text_.size(); ++line_) {
      const std::size_t end = text_.find('\n', at_);
      const std::size_t next =
          end == std::string_view::npos ? text_.size() : end + 1;
      lineText_.assign(1, mark);
      lineText_.append(text_.substr(at_, next - at_));
      if (end == std::string_view::npos) {
        lineText_ += "\n\\ No newline at end of file\n";
      }
      write(lineText_);
      at_ = next;
    }
  }
  void skipUpTo(std::size_t to) {
    for (; line_ < to && at_ < text_.size(); ++line_) {
      const std::size_t end = text_.find('\n', at_);
      at_ = end == std::string_view::npos ? text_.size() : end + 1;
    }
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
  std::size_t line_ = 0;
  std::string lineText_;
};

std::size_t lineCount(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t at = 0; at < text.size(); ++count) {
    const std::size_t end = text.find('\n', at);
    at = end == std::string_view::npos ? text.size() : end + 1;
  }
  return count;
}

// The hunk of runs[first, last], with up to kContext common lines around
// it and between its runs.
void writeHunk(const std::vector<ChangedRun>& runs, std::size_t first,
               std::size_t last, std::size_t oldLines, LineWalk& before,
               LineWalk& after, const DiffSink& write) {
  const std::size_t oldStart =
      runs[first].oldFrom - std::min(runs[first].oldFrom, kContext);
  const std::size_t newStart =
      runs[first].newFrom - (runs[first].oldFrom - oldStart);
  const std::size_t oldEnd = std::min(oldLines, runs[last].oldTo + kContext);
  const std::size_t newEnd = runs[last].newTo + (oldEnd - runs[last].oldTo);
  write("@@ -" + range(oldStart + 1, oldEnd - oldStart) + " +" +
        range(newStart + 1, newEnd - newStart) + " @@\n");
  before.skipUpTo(oldStart);
  after.skipUpTo(newStart);
  for (std::size_t i = first; i <= last; ++i) {
    after.skipUpTo(after.line() + (runs[i].oldFrom - before.line()));
    before.writeUpTo(runs[i].oldFrom, ' ', write);
    before.writeUpTo(runs[i].oldTo, '-', write);
    after.writeUpTo(runs[i].newTo, '+', write);
  }
  after.skipUpTo(newEnd);
  before.writeUpTo(oldEnd, ' ', write);
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

void writeUnifiedDiff(std::string_view path, std::string_view before,
                      std::string_view after, const DiffSink& write) {
  const std::vector<ChangedRun> runs = changedRuns(before, after);
  if (runs.empty()) return;
  write("--- " + headerPath(path, "a/") + "\n+++ " + headerPath(path, "b/") +
        "\n");
  const std::size_t oldLines = lineCount(before);
  LineWalk oldWalk(before);
  LineWalk newWalk(after);
  for (std::size_t first = 0; first < runs.size();) {
    // Runs no more than 2 x kContext common lines apart share a hunk.
    std::size_t last = first;
    while (last + 1 < runs.size() &&
           runs[last + 1].oldFrom - runs[last].oldTo <= 2 * kContext) {
      ++last;
    }
    writeHunk(runs, first, last, oldLines, oldWalk, newWalk, write);
    first = last + 1;
  }
}

std::string unifiedDiff(std::string_view path, std::string_view before,
                        std::string_view after) {
  std::string diff;
  writeUnifiedDiff(path, before, after,
                   [&diff](std::string_view piece) { diff += piece; });
  return diff;
}

}  // namespace tagfmt

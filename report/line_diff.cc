// The line diff: dtl's edit script over the lines both texts hold, and the
// byte edits between its common lines.
#include "report/line_diff.h"

#include <dtl/dtl.hpp>
#include <unordered_set>
#include <vector>

namespace tagfmt {

namespace {

// Lines found on one side only can never be common, and after a change of
// line ends that is most lines; dtl gets only the others, which keeps it
// fast on a text whose every line changed.
std::vector<std::size_t> sharedLines(
    const Lines& lines, const std::unordered_set<std::string_view>& other) {
  std::vector<std::size_t> shared;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (other.contains(lines[i])) shared.push_back(i);
  }
  return shared;
}

Lines pick(const Lines& lines, const std::vector<std::size_t>& indices) {
  Lines picked;
  for (const std::size_t i : indices) picked.push_back(lines[i]);
  return picked;
}

}  // namespace

Lines splitLines(std::string_view text) {
  Lines lines;
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

std::vector<std::pair<std::size_t, std::size_t>> commonLines(
    const Lines& before, const Lines& after) {
  const std::vector<std::size_t> oldShared = sharedLines(
      before, std::unordered_set<std::string_view>(after.begin(), after.end()));
  const std::vector<std::size_t> newShared = sharedLines(
      after,
      std::unordered_set<std::string_view>(before.begin(), before.end()));
  dtl::Diff<std::string_view> diff(pick(before, oldShared),
                                   pick(after, newShared));
  diff.compose();
  std::vector<std::pair<std::size_t, std::size_t>> pairs;
  std::size_t oldAt = 0;
  std::size_t newAt = 0;
  for (const auto& element : diff.getSes().getSequence()) {
    const dtl::edit_t type = element.second.type;
    if (type == dtl::SES_COMMON) {
      pairs.emplace_back(oldShared[oldAt], newShared[newAt]);
    }
    oldAt += type != dtl::SES_ADD ? 1 : 0;
    newAt += type != dtl::SES_DELETE ? 1 : 0;
  }
  return pairs;
}

namespace {

// The lines of a text from a point on, one at a time.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text) : text_(text) {}
  bool done() const { return at_ == text_.size(); }
  std::size_t line() const { return line_; }
  std::size_t offset() const { return at_; }
  std::string_view peek() const {
    const std::size_t end = text_.find('\n', at_);
    return text_.substr(at_, end == std::string_view::npos ? text_.size() - at_
                                                           : end + 1 - at_);
  }
  void next() {
    at_ += peek().size();
    ++line_;
  }
  // The next `count` lines at most, without moving; `toEnd` says whether
  // they are all the text has left.
  Lines ahead(std::size_t count, bool& toEnd) const {
    Lines lines;
    LineCursor look = *this;
    for (; lines.size() < count && !look.done(); look.next()) {
      lines.push_back(look.peek());
    }
    toEnd = look.done();
    return lines;
  }
  void skip(std::size_t count) {
    for (; count > 0 && !done(); --count) next();
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
  std::size_t line_ = 0;
};

// Adds the run before[oldFrom, oldTo) -> after[newFrom, newTo), joined to
// the last one where they touch; an empty run adds nothing.
void addRun(std::vector<ChangedRun>& runs, const ChangedRun& run) {
  if (run.oldFrom == run.oldTo && run.newFrom == run.newTo) return;
  if (!runs.empty() && runs.back().oldTo == run.oldFrom &&
      runs.back().newTo == run.newFrom) {
    runs.back().oldTo = run.oldTo;
    runs.back().newTo = run.newTo;
    return;
  }
  runs.push_back(run);
}

// The runs between the common pairs `common` of before[oldBase, oldBase +
// oldCount) and after[newBase, newBase + newCount), the pairs relative to
// those bases, up to that end.
void addRunsBetween(
    std::vector<ChangedRun>& runs,
    const std::vector<std::pair<std::size_t, std::size_t>>& common,
    std::size_t oldBase, std::size_t newBase, std::size_t oldCount,
    std::size_t newCount) {
  std::size_t i = 0;
  std::size_t j = 0;
  for (const auto& [oldLine, newLine] : common) {
    addRun(runs,
           {oldBase + i, oldBase + oldLine, newBase + j, newBase + newLine});
    i = oldLine + 1;
    j = newLine + 1;
  }
  addRun(runs,
         {oldBase + i, oldBase + oldCount, newBase + j, newBase + newCount});
}

std::size_t lineCount(std::string_view text, std::size_t atMost) {
  std::size_t count = 0;
  for (std::size_t at = 0; at < text.size() && count <= atMost; ++count) {
    const std::size_t end = text.find('\n', at);
    at = end == std::string_view::npos ? text.size() : end + 1;
  }
  return count;
}

}  // namespace

std::vector<ChangedRun> changedRuns(std::string_view before,
                                    std::string_view after,
                                    std::size_t window) {
  std::vector<ChangedRun> runs;
  if (before == after) return runs;
  if (lineCount(before, window) <= window &&
      lineCount(after, window) <= window) {
    const Lines a = splitLines(before);
    const Lines b = splitLines(after);
    addRunsBetween(runs, commonLines(a, b), 0, 0, a.size(), b.size());
    return runs;
  }
  LineCursor a(before);
  LineCursor b(after);
  while (true) {
    while (!a.done() && !b.done() && a.peek() == b.peek()) {
      a.next();
      b.next();
    }
    if (a.done() && b.done()) return runs;
    bool oldToEnd = false;
    bool newToEnd = false;
    const Lines oldLines = a.ahead(window, oldToEnd);
    const Lines newLines = b.ahead(window, newToEnd);
    // Where a side goes on past its window, the common lines of the last
    // quarter may belong with lines beyond it: they wait for the next.
    const std::size_t oldSafe =
        oldToEnd ? oldLines.size() : oldLines.size() - oldLines.size() / 4;
    const std::size_t newSafe =
        newToEnd ? newLines.size() : newLines.size() - newLines.size() / 4;
    std::vector<std::pair<std::size_t, std::size_t>> common =
        commonLines(oldLines, newLines);
    std::erase_if(common, [&](const auto& pair) {
      return pair.first >= oldSafe || pair.second >= newSafe;
    });
    addRunsBetween(runs, common, a.line(), b.line(), oldSafe, newSafe);
    a.skip(oldSafe);
    b.skip(newSafe);
  }
}

std::vector<LineEdit> lineEdits(std::string_view before, std::string_view after,
                                std::size_t maxChangedLines) {
  std::vector<LineEdit> edits;
  std::size_t changed = 0;
  LineCursor a(before);
  LineCursor b(after);
  for (const ChangedRun& run : changedRuns(before, after)) {
    a.skip(run.oldFrom - a.line());
    b.skip(run.newFrom - b.line());
    const std::size_t from = a.offset();
    const std::size_t textFrom = b.offset();
    a.skip(run.oldTo - run.oldFrom);
    b.skip(run.newTo - run.newFrom);
    changed += (run.oldTo - run.oldFrom) + (run.newTo - run.newFrom);
    edits.push_back(
        {from, a.offset(),
         std::string(after.substr(textFrom, b.offset() - textFrom))});
  }
  if (changed > maxChangedLines && edits.size() > 1) {
    // One edit from the first difference to the last.
    const std::size_t head = edits.front().from;
    const std::size_t tail = before.size() - edits.back().to;
    edits.assign(1,
                 {head, before.size() - tail,
                  std::string(after.substr(head, after.size() - tail - head))});
  }
  return edits;
}

}  // namespace tagfmt

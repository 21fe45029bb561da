// The line diff: dtl's edit script over the lines both texts hold, and the
// byte edits between its common lines.
#include "report/line_diff.h"

#include <dtl/dtl.hpp>
#include <unordered_set>

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

// The byte offset of line `line` of `lines`, a split of `text`.
std::size_t offsetOf(const Lines& lines, std::string_view text,
                     std::size_t line) {
  return line == lines.size()
             ? text.size()
             : static_cast<std::size_t>(lines[line].data() - text.data());
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

std::vector<LineEdit> lineEdits(std::string_view before, std::string_view after,
                                std::size_t maxChangedLines) {
  std::vector<LineEdit> edits;
  if (before == after) return edits;
  const Lines a = splitLines(before);
  const Lines b = splitLines(after);
  std::vector<std::pair<std::size_t, std::size_t>> common = commonLines(a, b);
  common.emplace_back(a.size(), b.size());  // the end closes the last run
  std::size_t changed = 0;
  std::size_t i = 0;
  std::size_t j = 0;
  for (const auto& [oldLine, newLine] : common) {
    if (oldLine > i || newLine > j) {
      changed += (oldLine - i) + (newLine - j);
      const std::size_t from = offsetOf(b, after, j);
      edits.push_back({offsetOf(a, before, i), offsetOf(a, before, oldLine),
                       std::string(after.substr(
                           from, offsetOf(b, after, newLine) - from))});
    }
    i = oldLine + 1;
    j = newLine + 1;
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

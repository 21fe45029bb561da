// A line diff (Myers' greedy search, with a bound on its work) turned into
// byte edits.
#include "lsp/edits.h"

#include <algorithm>
#include <cstdint>

namespace tagfmt::lsp {

namespace {

// Each line with its break (LF, CR LF or a lone CR); the last may have none.
std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    if (text[i] == '\n' || text[i] == '\r') {
      lines.push_back(text.substr(start, i + 1 - start));
      start = i + 1;
    }
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

using Lines = std::vector<std::string_view>;

// One run of differing lines: a[aFrom, aTo) becomes b[bFrom, bTo).
struct Run {
  std::size_t aFrom, aTo, bFrom, bTo;
};

// The shortest edit script between a[aLo, aHi) and b[bLo, bHi), as runs, by
// Myers' search; false when it needs more than `limit` lines inserted or
// deleted.
bool myersRuns(const Lines& a, const Lines& b, std::size_t aLo, std::size_t aHi,
               std::size_t bLo, std::size_t bHi, std::size_t limit,
               std::vector<Run>& runs) {
  const auto n = static_cast<std::int64_t>(aHi - aLo);
  const auto m = static_cast<std::int64_t>(bHi - bLo);
  const std::int64_t most =
      std::min<std::int64_t>(n + m, static_cast<std::int64_t>(limit));
  const std::int64_t offset = most + 1;
  std::vector<std::int64_t> v(static_cast<std::size_t>(2 * most + 3), 0);
  // For each d, the furthest x on diagonals -d-1 .. d+1 before step d:
  // about d * d entries in all, which the bound keeps small.
  std::vector<std::vector<std::int32_t>> trace;
  const auto at = [&](std::int64_t k) -> std::int64_t& {
    return v[static_cast<std::size_t>(k + offset)];
  };
  std::int64_t found = -1;
  for (std::int64_t d = 0; d <= most && found < 0; ++d) {
    std::vector<std::int32_t>& saved = trace.emplace_back();
    saved.reserve(static_cast<std::size_t>(2 * d + 3));
    for (std::int64_t k = -d - 1; k <= d + 1; ++k) {
      saved.push_back(static_cast<std::int32_t>(at(k)));
    }
    for (std::int64_t k = -d; k <= d; k += 2) {
      std::int64_t x = (k == -d || (k != d && at(k - 1) < at(k + 1)))
                           ? at(k + 1)
                           : at(k - 1) + 1;
      std::int64_t y = x - k;
      while (x < n && y < m &&
             a[aLo + static_cast<std::size_t>(x)] ==
                 b[bLo + static_cast<std::size_t>(y)]) {
        ++x;
        ++y;
      }
      at(k) = x;
      if (x >= n && y >= m) {
        found = d;
        break;
      }
    }
  }
  if (found < 0) return false;
  // Walk back from the end, marking each line that is kept.
  std::vector<bool> keptA(static_cast<std::size_t>(n), false);
  std::vector<bool> keptB(static_cast<std::size_t>(m), false);
  std::int64_t x = n;
  std::int64_t y = m;
  for (std::int64_t d = found; d >= 0; --d) {
    const std::vector<std::int32_t>& saved = trace[static_cast<std::size_t>(d)];
    const auto was = [&](std::int64_t k) -> std::int64_t {
      return saved[static_cast<std::size_t>(k + d + 1)];
    };
    const std::int64_t k = x - y;
    std::int64_t prevK = k;
    if (d > 0) {
      prevK = (k == -d || (k != d && was(k - 1) < was(k + 1))) ? k + 1 : k - 1;
    }
    const std::int64_t prevX = d > 0 ? was(prevK) : 0;
    const std::int64_t prevY = prevX - prevK;
    const std::int64_t snakeX =
        d > 0 ? (prevK == k + 1 ? prevX : prevX + 1) : 0;
    while (x > snakeX && y > snakeX - k) {
      --x;
      --y;
      keptA[static_cast<std::size_t>(x)] = true;
      keptB[static_cast<std::size_t>(y)] = true;
    }
    x = prevX;
    y = prevY;
  }
  // Pair the kept lines up in order; between them lie the runs.
  std::size_t i = 0;
  std::size_t j = 0;
  const auto un = static_cast<std::size_t>(n);
  const auto um = static_cast<std::size_t>(m);
  while (i < un || j < um) {
    if (i < un && j < um && keptA[i] && keptB[j]) {
      ++i;
      ++j;
      continue;
    }
    Run run{aLo + i, aLo + i, bLo + j, bLo + j};
    while (i < un && !keptA[i]) ++i;
    while (j < um && !keptB[j]) ++j;
    run.aTo = aLo + i;
    run.bTo = bLo + j;
    runs.push_back(run);
  }
  return true;
}

}  // namespace

std::vector<ByteEdit> lineEdits(std::string_view before, std::string_view after,
                                std::size_t maxChangedLines) {
  std::vector<ByteEdit> edits;
  if (before == after) return edits;
  const Lines a = splitLines(before);
  const Lines b = splitLines(after);
  std::size_t head = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
  std::size_t tail = 0;
  while (tail < a.size() - head && tail < b.size() - head &&
         a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) {
    ++tail;
  }
  std::vector<Run> runs;
  if (!myersRuns(a, b, head, a.size() - tail, head, b.size() - tail,
                 maxChangedLines, runs)) {
    runs.assign(1, Run{head, a.size() - tail, head, b.size() - tail});
  }
  // Byte offsets of the line starts, with one for the end.
  const auto starts = [](const Lines& lines, std::string_view text) {
    std::vector<std::size_t> offsets;
    offsets.reserve(lines.size() + 1);
    for (const std::string_view line : lines) {
      offsets.push_back(static_cast<std::size_t>(line.data() - text.data()));
    }
    offsets.push_back(text.size());
    return offsets;
  };
  const std::vector<std::size_t> aStart = starts(a, before);
  const std::vector<std::size_t> bStart = starts(b, after);
  for (const Run& run : runs) {
    edits.push_back(
        ByteEdit{aStart[run.aFrom], aStart[run.aTo],
                 std::string(after.substr(
                     bStart[run.bFrom], bStart[run.bTo] - bStart[run.bFrom]))});
  }
  return edits;
}

std::string applyEdits(std::string_view before,
                       const std::vector<ByteEdit>& edits) {
  std::string result;
  std::size_t at = 0;
  for (const ByteEdit& edit : edits) {
    result.append(before.substr(at, edit.from - at));
    result += edit.text;
    at = edit.to;
  }
  result.append(before.substr(at));
  return result;
}

}  // namespace tagfmt::lsp

// Spans from byte offsets: a fault's tag is scanned to its end again, and
// columns come from one sweep over the text for all the offsets at once.
#include "format/places.h"

#include <algorithm>
#include <vector>

#include "format/scanner.h"
#include "format/work_text.h"

namespace tagfmt {

namespace {

// The start of the line of each of a sorted set of offsets.
class LineStarts {
 public:
  void want(std::size_t at) { offsets_.push_back(at); }
  // Finds the answers in one sweep over `text`.
  void find(std::string_view text) {
    std::sort(offsets_.begin(), offsets_.end());
    offsets_.erase(std::unique(offsets_.begin(), offsets_.end()),
                   offsets_.end());
    starts_.resize(offsets_.size());
    std::size_t start = 0;
    std::size_t swept = 0;
    for (std::size_t i = 0; i < offsets_.size(); ++i) {
      const std::size_t to = std::min(offsets_[i], text.size());
      for (; swept < to; ++swept) {
        if (text[swept] == '\n' || text[swept] == '\r') start = swept + 1;
      }
      starts_[i] = start;
    }
  }
  std::uint64_t column(std::size_t at) const {
    const auto it = std::lower_bound(offsets_.begin(), offsets_.end(), at);
    const std::size_t start =
        starts_[static_cast<std::size_t>(it - offsets_.begin())];
    return at - start + 1;
  }

 private:
  std::vector<std::size_t> offsets_;
  std::vector<std::size_t> starts_;
};

// The line just past `end` for a span from `at` on line `line`: the LFs
// between count, as the pass counts them inside a construct.
std::uint64_t lineAtEnd(std::string_view text, std::size_t at, std::size_t end,
                        std::uint64_t line) {
  const std::size_t to = std::min(end, text.size());
  if (at >= to) return line;
  return line + static_cast<std::uint64_t>(std::count(
                    text.begin() + static_cast<std::ptrdiff_t>(at),
                    text.begin() + static_cast<std::ptrdiff_t>(to), '\n'));
}

TextSpan spanOf(std::string_view text, const LineStarts& starts, std::size_t at,
                std::size_t end, std::uint64_t line) {
  return {line, starts.column(at), lineAtEnd(text, at, end, line),
          starts.column(end)};
}

}  // namespace

std::size_t constructEnd(std::string_view text, std::size_t at) {
  if (at >= text.size() || text[at] != '<') return std::min(at, text.size());
  const std::string_view rest = text.substr(at);
  char terminator = kNoTerminator;
  if (rest.starts_with("<!") && !startsWithPairMarker(rest)) {
    terminator = '-';
  } else if (rest.starts_with("<?")) {
    terminator = '?';
  }
  std::string unused;
  WorkText out(unused, 0, text);
  ScanInput in{text, at, 1};
  scanConstruct(in, out, false, terminator, false, 0);
  return in.pos;
}

void placeFaults(std::string_view text, NestingFaults& faults, Notes& notes) {
  if (faults.empty() && notes.empty()) return;
  std::vector<std::size_t> ends;  // each fault's, then each open tag's
  LineStarts starts;
  for (const NestingFault& fault : faults) {
    ends.push_back(constructEnd(text, fault.at));
    ends.push_back(fault.openLine > 0 ? constructEnd(text, fault.openAt) : 0);
  }
  for (std::size_t i = 0; i < faults.size(); ++i) {
    starts.want(faults[i].at);
    starts.want(ends[2 * i]);
    starts.want(faults[i].openAt);
    starts.want(ends[2 * i + 1]);
  }
  for (const Note& note : notes) {
    starts.want(note.at);
    starts.want(note.endAt);
  }
  starts.find(text);
  for (std::size_t i = 0; i < faults.size(); ++i) {
    NestingFault& fault = faults[i];
    fault.span = spanOf(text, starts, fault.at, ends[2 * i], fault.line);
    if (fault.openLine > 0) {
      fault.openSpan =
          spanOf(text, starts, fault.openAt, ends[2 * i + 1], fault.openLine);
    }
  }
  for (Note& note : notes) {
    note.span = spanOf(text, starts, note.at, note.endAt, note.line);
  }
}

}  // namespace tagfmt

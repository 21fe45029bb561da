// The reference pass: the rules read one at a time, with plain strings and
// no attempt at speed, so that it shares no shortcut with the engine.
#include "tests/reference_pass.h"

#include <vector>

namespace tagfmt::reference {

namespace {

constexpr std::string_view kOff = "<!-- tagfmt: off -->";
constexpr std::string_view kOn = "<!-- tagfmt: on -->";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// The first rule whose name the text at `at` begins with, any case.
int lookUp(std::string_view text, std::size_t at) {
  for (std::size_t rule = 0; rule < kTagRules.size(); ++rule) {
    const std::string_view name = kTagRules[rule].name;
    bool match = at + name.size() <= text.size();
    for (std::size_t i = 0; match && i < name.size(); ++i) {
      match = lower(text[at + i]) == name[i];
    }
    if (match) return static_cast<int>(rule);
  }
  return -1;
}

bool isMarker(std::string_view text, std::size_t at) {
  if (text.substr(at, 5) != "<!--@") return false;
  std::size_t end = at + 5;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  return end > at + 5 && text.substr(end, 4) == "@-->";
}

bool isText(char c) {
  return c != '\0' && c != '<' && c != '>' && c != '\r' && c != '\n' &&
         !isBlank(c);
}

bool isBracket(char c) { return c == '<' || c == '>'; }

// The output written for one source line break, where it starts and ends.
struct Break {
  std::size_t start;
  std::size_t end;
};

struct Open {
  int rule;
  std::int64_t seq;
  std::uint64_t line;
  std::size_t at;
};

struct Pass {
  Pass(std::string_view text, const RunOptions& runOptions, std::int64_t start,
       NestingFaults& found)
      : in(text), options(runOptions), seq(start), faults(found) {}

  std::string_view in;
  const RunOptions& options;
  std::int64_t seq;
  NestingFaults& faults;
  std::size_t pos = 0;
  std::uint64_t line = 1;
  std::string out;
  std::int64_t indent = 0;
  // The text starts as if just after a break that wrote nothing.
  std::vector<Break> breaks{{0, 0}};
  bool lineStartKnown = true;
  bool inRegion = false;
  std::vector<Open> stack;

  bool atLineStart() const {
    return lineStartKnown && breaks.back().end == out.size();
  }

  char next() const { return pos < in.size() ? in[pos] : '\0'; }

  void writeBreak() {
    if (indent > 0) {
      out += "\r\n";
      out.append(static_cast<std::size_t>(indent), ' ');
      return;
    }
    // At indentation 0 the lines join, unless text would touch.
    const char before = out.empty() ? '\0' : out.back();
    const char after = next();
    if ((isText(before) && (isText(after) || isBracket(after))) ||
        (isText(after) && isBracket(before))) {
      out += "\r\n";
    }
  }

  void sourceBreak() {
    ++line;
    const std::size_t at = pos;
    if (in[pos] == '\r') ++pos;
    if (pos < in.size() && in[pos] == '\n') ++pos;
    while (pos < in.size() && isBlank(in[pos])) ++pos;
    if (inRegion) {
      out.append(in.substr(at, pos - at));
      lineStartKnown = false;
      return;
    }
    const std::size_t start = out.size();
    writeBreak();
    breaks.push_back({start, out.size()});
    lineStartKnown = true;
  }

  // Takes the latest break back and writes it again at the indentation
  // now; where that joins the lines, the empty lines before it go too.
  void takeBack() {
    std::size_t start = breaks.back().start;
    breaks.pop_back();
    while (indent <= 0 && !breaks.empty() && breaks.back().end == start) {
      start = breaks.back().start;
      breaks.pop_back();
    }
    out.resize(start);
    writeBreak();
    breaks.push_back({start, out.size()});
  }

  void scan(char terminator, bool copy, std::int64_t marker) {
    bool inDouble = false;
    bool inSingle = false;
    const std::size_t start = pos;
    for (; pos < in.size(); ++pos) {
      const char c = in[pos];
      if (!inSingle && c == '"') inDouble = !inDouble;
      if (!inDouble) {
        if (c == '\'') inSingle = !inSingle;
        if (!inSingle && c == '>' &&
            (terminator == '\0' || in[pos - 1] == terminator) && pos > start) {
          if (copy) out += '>';
          ++pos;
          if (options.markerMode && marker > 0) {
            out += "<!--@" + std::to_string(marker) + "@-->";
          }
          return;
        }
      }
      if (c == '\n') ++line;
      if (copy) out += c;
    }
  }

  void closing() {
    const int rule = lookUp(in, pos + 2);
    std::int64_t marker = 0;
    if (rule >= 0) {
      std::int64_t seqClosed = 0;
      if (stack.empty()) {
        faults.push_back({FaultKind::kUnexpected, rule, -1, line, 0, pos, 0});
      } else {
        const Open top = stack.back();
        stack.pop_back();
        seqClosed = top.seq;
        if (top.rule != rule) {
          faults.push_back({FaultKind::kMismatch, rule, top.rule, line,
                            top.line, pos, top.at});
        }
      }
      const TagRule& r = kTagRules[static_cast<std::size_t>(rule)];
      indent -= r.indent;
      if (inRegion) {
      } else if (atLineStart()) {
        takeBack();
      } else if (r.breakBeforeClose && indent > 0) {
        out += "\r\n" + std::string(static_cast<std::size_t>(indent), ' ');
      }
      if (r.numbered && !inRegion) marker = seqClosed;
    }
    scan('\0', true, marker);
  }

  void opening() {
    const int rule = lookUp(in, pos + 1);
    std::int64_t marker = 0;
    if (rule >= 0) {
      const TagRule& r = kTagRules[static_cast<std::size_t>(rule)];
      ++seq;
      if (r.breakBeforeOpen && !atLineStart() && !inRegion && indent > 0) {
        out += "\r\n" + std::string(static_cast<std::size_t>(indent), ' ');
      }
      stack.push_back({rule, seq, line, pos});
      indent += r.indent;
      if (r.numbered && !inRegion) marker = seq;
    }
    scan('\0', true, marker);
  }

  void construct() {
    const char second = pos + 1 < in.size() ? in[pos + 1] : '\0';
    if (second == '!' && isMarker(in, pos)) {
      scan('\0', inRegion, 0);  // only a region keeps old markers
    } else if (second == '!') {
      const bool off = !inRegion && in.substr(pos).starts_with(kOff);
      const bool on = inRegion && in.substr(pos).starts_with(kOn);
      if (on) inRegion = false;
      scan('-', true, 0);
      if (off) inRegion = true;
      if (on) lineStartKnown = false;
    } else if (second == '/') {
      closing();
    } else if (second == '?') {
      scan('?', true, 0);
    } else {
      opening();
    }
  }

  void run() {
    while (pos < in.size()) {
      const char c = in[pos];
      if (c == '\r' || c == '\n') {
        sourceBreak();
      } else if (c == '<') {
        construct();
      } else {
        out += c;
        ++pos;
      }
    }
    for (auto open = stack.rbegin(); open != stack.rend(); ++open) {
      faults.push_back({FaultKind::kMissing, -1, open->rule, open->line,
                        open->line, open->at, open->at});
    }
  }
};

std::string crLf(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text[i] == '\n') {
      out += "\r\n";
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::string pass(std::string_view text, const RunOptions& options,
                 std::int64_t openSeq, NestingFaults& faults,
                 std::int64_t& openCount) {
  Pass p{text, options, openSeq, faults};
  p.run();
  openCount = p.seq - openSeq;
  return p.out;
}

std::string content(std::string_view text) {
  std::string kept;
  for (std::size_t at = 0; at < text.size();) {
    if (isMarker(text, at)) {
      at = text.find('>', at) + 1;
    } else if (isBlank(text[at]) || text[at] == '\r' || text[at] == '\n') {
      ++at;
    } else {
      kept += text[at++];
    }
  }
  return kept;
}

Result decide(std::string_view text, const RunOptions& options,
              std::int64_t openSeq) {
  Result result;
  if (text.find('\0') != std::string_view::npos) {
    result.outcome = TextOutcome::kHasNul;
    return result;
  }
  std::string settled(text);
  if (!options.lineEndsOnly) {
    settled = pass(text, options, openSeq, result.faults, result.openCount);
    if (!result.faults.empty()) {
      result.outcome = TextOutcome::kFaults;
      return result;
    }
    bool settles = false;
    for (int passes = 1; passes < kMaxPasses && !settles; ++passes) {
      NestingFaults faults;
      std::int64_t count = 0;
      const std::string again = pass(settled, options, openSeq, faults, count);
      if (!faults.empty()) break;
      settles = again == settled;
      settled = again;
    }
    if (!settles) {
      result.outcome = TextOutcome::kInternalError;
      return result;
    }
  }
  std::string tidied = crLf(settled);
  if (tidied == text) return result;
  result.outcome = TextOutcome::kChanged;
  result.tidied = std::move(tidied);
  return result;
}

}  // namespace tagfmt::reference

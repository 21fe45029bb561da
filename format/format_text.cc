// The reformatting pass: one walk over a file's text that re-indents it,
// moves tags onto lines of their own and drives the nesting check.
#include "format/format_text.h"

#include <algorithm>
#include <iterator>

#include "format/byte_scan.h"
#include "format/element_stack.h"
#include "format/format.h"
#include "format/scanner.h"
#include "format/tag_rules.h"
#include "format/work_text.h"

namespace tagfmt {

namespace {

constexpr std::size_t kNoPosition = static_cast<std::size_t>(-1);

struct FormatState {
  ScanInput in;
  WorkText out;
  const RunOptions& options;
  std::int64_t& openSeq;
  NestingFaults& faults;
  FormatTrace* trace;
  ElementStack stack;
  std::int64_t indent = 0;
  // Where the break for the latest source line break ends and begins, and
  // where the one before it ended: equal to breakStart when the line
  // between wrote nothing. kNoPosition where nothing may be taken back.
  std::size_t lineStart = 0;
  std::size_t breakStart = 0;
  std::size_t previousLineStart = kNoPosition;
  // Where the run of breaks with nothing written between them that ends
  // with the latest one begins: its first break's breakStart.
  std::size_t runStart = 0;
  // Where that source line break stands in the input, where the next
  // line's blanks end, and its length when it is a CR LF and spaces only
  // (else 0).
  std::size_t sourceBreakAt = 0;
  std::size_t sourceBreakEnd = 0;
  std::size_t plainBreakLength = 0;
  bool inRegion = false;
  bool mayChangeAgain = false;
};

// A break at indentation 0 or less writes nothing, not even the CR LF.
void emitBreak(WorkText& out, std::int64_t indent) {
  if (indent > 0) out.appendBreak(static_cast<std::size_t>(indent));
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// Text is every byte but markup's brackets, blanks and line ends; '\0'
// stands for no byte at all.
bool isText(char c) {
  return c != '\0' && c != '<' && c != '>' && c != '\r' && c != '\n' &&
         !isBlank(c);
}

// True when joining `before` to `after` would run text into text or into
// markup, which shows as one word on the page.
bool touches(char before, char after) {
  const auto isBracket = [](char c) { return c == '<' || c == '>'; };
  return (isText(before) && (isText(after) || isBracket(after))) ||
         (isText(after) && isBracket(before));
}

// Steps over one CR, one LF and the next line's leading blanks. Returns
// true when those bytes were a CR LF and spaces only.
bool skipLineStart(ScanInput& in) {
  const std::string_view text = in.text;
  const std::size_t start = in.pos;
  if (text[in.pos] == '\r') ++in.pos;
  if (in.pos < text.size() && text[in.pos] == '\n') ++in.pos;
  const bool crLf = in.pos - start == 2;
  // Most lines start with a tag or with text, and need no search.
  if (in.pos == text.size() || !isBlank(text[in.pos])) return crLf;
  in.pos = findNotAny<' '>(text.data(), in.pos, text.size());
  // An indented line's blanks are nearly always spaces alone.
  if (in.pos == text.size() || !isBlank(text[in.pos])) return crLf;
  in.pos = findNotAny<' ', '\t', '\v', '\f'>(text.data(), in.pos, text.size());
  return false;
}

// Writes the break for the latest source line break at the current
// indentation. In a tidy file the source's own CR LF and spaces are that
// break, or its start, and need no comparing.
void writeLineBreak(FormatState& s) {
  if (s.indent <= 0) {
    // The lines join, unless that would make text touch.
    const std::string_view rest = s.in.text.substr(s.in.pos);
    const char next = rest.empty() ? '\0' : rest[0];
    if (touches(s.out.lastByte(), next)) s.out.append("\r\n", 2);
    // An old marker next goes, and another pass sees what follows it.
    if (next == '<' && startsWithPairMarker(rest)) s.mayChangeAgain = true;
    return;
  }
  if (s.plainBreakLength >= 2) {
    const std::size_t spaces = s.plainBreakLength - 2;
    const auto wanted = static_cast<std::size_t>(s.indent);
    if (spaces <= wanted &&
        s.out.skipShared(s.sourceBreakAt, s.plainBreakLength)) {
      // In a tidy file the source's spaces are all there are.
      if (wanted != spaces) s.out.appendSpaces(wanted - spaces);
      return;
    }
  }
  emitBreak(s.out, s.indent);
}

bool watched(const FormatTrace& trace, std::size_t at) {
  const auto after = std::upper_bound(
      trace.watched.begin(), trace.watched.end(), at,
      [](std::size_t pos, const auto& range) { return pos < range.first; });
  return after != trace.watched.begin() && at < std::prev(after)->second;
}

void recordChange(FormatState& s, std::size_t at, ChangeKind kind) {
  if (s.trace != nullptr && watched(*s.trace, at)) {
    s.trace->changes.push_back({at, kind});
  }
}

// Records the latest source line break when what was written for it
// differs from the input's bytes, line ends aside.
void traceLineBreak(FormatState& s) {
  if (s.trace == nullptr) return;
  std::vector<LayoutChange>& changes = s.trace->changes;
  // A break taken back and redone replaces what was recorded for it.
  if (!changes.empty() && changes.back().at == s.sourceBreakAt) {
    changes.pop_back();
  }
  const std::size_t written = s.out.size() - s.breakStart;
  if (!watched(*s.trace, s.sourceBreakAt)) return;
  if (written == 0) {
    recordChange(s, s.sourceBreakAt, ChangeKind::kBreakRemoved);
    return;
  }
  const std::string_view text = s.in.text;
  std::size_t blanks = s.sourceBreakAt + 1;
  if (text[s.sourceBreakAt] == '\r' && blanks < text.size() &&
      text[blanks] == '\n') {
    ++blanks;
  }
  const std::string_view lead = text.substr(blanks, s.sourceBreakEnd - blanks);
  if (lead.size() != written - 2 ||
      lead.find_first_not_of(' ') != std::string_view::npos) {
    recordChange(s, s.sourceBreakAt, ChangeKind::kLayout);
  }
}

void sourceLineBreak(FormatState& s) {
  ++s.in.line;
  s.sourceBreakAt = s.in.pos;
  const bool plain = skipLineStart(s.in);
  s.sourceBreakEnd = s.in.pos;
  if (s.inRegion) {
    // Kept as it stands; the line ends are normalised later.
    s.out.append(s.in.text.data() + s.sourceBreakAt,
                 s.in.pos - s.sourceBreakAt);
    s.lineStart = kNoPosition;
    return;
  }
  s.plainBreakLength = plain ? s.in.pos - s.sourceBreakAt : 0;
  s.previousLineStart = s.lineStart;
  s.breakStart = s.out.size();
  if (s.previousLineStart != s.breakStart) s.runStart = s.breakStart;
  writeLineBreak(s);
  s.lineStart = s.out.size();
  traceLineBreak(s);
}

void scan(FormatState& s, char terminator, bool copy, std::int64_t marker) {
  scanConstruct(s.in, s.out, s.options.markerMode, terminator, copy, marker);
}

// Copies a tag through its ">". A plain tag that gets no marker is copied
// right here: most tags are, and the scanner's call costs more than the copy.
void copyTag(FormatState& s, std::int64_t marker) {
  const std::string_view text = s.in.text;
  const std::size_t end = findPlainTagEnd(text.data(), s.in.pos, text.size());
  const bool marked = marker > 0 && s.options.markerMode;
  if (marked) recordChange(s, s.in.pos, ChangeKind::kLayout);
  if (end == text.size() || marked) {
    scan(s, kNoTerminator, true, marker);
    return;
  }
  s.out.append(text.data() + s.in.pos, end + 1 - s.in.pos);
  s.in.pos = end + 1;
}

// A break the rules write before a tag, where the input has none.
void breakBeforeTag(FormatState& s) {
  if (s.indent <= 0) return;
  recordChange(s, s.in.pos, ChangeKind::kLayout);
  emitBreak(s.out, s.indent);
}

// Counts a closing tag and lays out its line; returns its marker number
// (0 for none).
std::int64_t closingTag(FormatState& s) {
  const int index = findTagRule(s.in.text.substr(s.in.pos + 2));
  std::int64_t marker = 0;
  if (index >= 0) {
    const TagRule& rule = kTagRules[static_cast<std::size_t>(index)];
    const std::int64_t seq =
        s.stack.close(index, s.in.line, s.in.pos, s.faults);
    s.indent -= rule.indent;
    if (s.inRegion) {
      // Counted for nesting and indentation, but laid out as it stands.
    } else if (s.lineStart == s.out.size()) {
      // First on its line: take the break back and redo it one level out.
      // Where that joins the lines, the empty lines before go too, as the
      // breaks they leave would go one a pass.
      s.out.truncate(s.indent <= 0 ? s.runStart : s.breakStart);
      writeLineBreak(s);
      traceLineBreak(s);
      // The redone break is now the line's start. Left where it was, the
      // old end could be met again once the tag and what follows fill the
      // room the take-back freed, and a later take-back would then cut
      // them away.
      s.lineStart = s.out.size();
    } else if (rule.breakBeforeClose) {
      breakBeforeTag(s);
    }
    if (rule.numbered && !s.inRegion) marker = seq;
  }
  return marker;
}

// Counts an opening tag and lays out its line; returns its marker number
// (0 for none).
std::int64_t openingTag(FormatState& s) {
  const int index = findTagRule(s.in.text.substr(s.in.pos + 1));
  std::int64_t marker = 0;
  if (index >= 0) {
    const TagRule& rule = kTagRules[static_cast<std::size_t>(index)];
    ++s.openSeq;
    if (rule.breakBeforeOpen && s.lineStart != s.out.size() && !s.inRegion) {
      breakBeforeTag(s);
    }
    s.stack.open(index, s.openSeq, s.in.line, s.in.pos);
    s.indent += rule.indent;
    if (rule.numbered && !s.inRegion) marker = s.openSeq;
  }
  return marker;
}

// A comment or declaration, which may start or end a region.
void comment(FormatState& s, std::string_view rest) {
  const bool off = !s.inRegion && rest.starts_with(kRegionOff);
  const bool on = s.inRegion && rest.starts_with(kRegionOn);
  const std::size_t at = s.in.pos;
  const std::uint64_t line = s.in.line;
  if (on) {
    s.inRegion = false;
    if (s.trace != nullptr) {
      s.trace->regions.back().end = at;
      s.trace->regions.back().closed = true;
    }
  }
  scan(s, '-', true, 0);
  if (off) {
    s.inRegion = true;
    if (s.trace != nullptr) {
      s.trace->regions.push_back({at, line, s.in.text.size(), false});
    }
  }
  // What came before the "on" is not the pass's to take back.
  if (on) s.lineStart = kNoPosition;
}

void construct(FormatState& s) {
  const std::string_view rest = s.in.text.substr(s.in.pos);
  const char next = rest.size() > 1 ? rest[1] : '\0';
  if (next == '!') {
    if (!startsWithPairMarker(rest)) {
      comment(s, rest);
    } else if (s.inRegion) {
      scan(s, kNoTerminator, true, 0);  // a region keeps its old markers
    } else {
      recordChange(s, s.in.pos, ChangeKind::kLayout);
      const bool lineStarts = s.lineStart == s.out.size();
      scan(s, kNoTerminator, false, 0);  // an old pair marker goes
      // Blanks after it now begin a line, for another pass to drop.
      if (lineStarts && s.in.pos < s.in.text.size() &&
          isBlank(s.in.text[s.in.pos])) {
        s.mayChangeAgain = true;
      }
    }
  } else if (next == '?') {
    scan(s, '?', true, 0);
  } else {
    // One call of the tag copy, which then goes inline.
    copyTag(s, next == '/' ? closingTag(s) : openingTag(s));
  }
}

// The bytes that end a run of text between constructs and line breaks.
bool endsRun(char c) { return c == '<' || c == '\r' || c == '\n' || c == '\0'; }

}  // namespace

std::size_t formatLimit(std::size_t inputSize) {
  constexpr std::size_t kSlack = std::size_t{64} << 20;
  if (inputSize > (SIZE_MAX - kSlack) / 10) return SIZE_MAX;
  return inputSize * 10 + kSlack;
}

Formatted formatText(std::string_view text, std::string& work,
                     const RunOptions& options, std::int64_t& openSeq,
                     NestingFaults& faults, FormatTrace* trace,
                     bool stopAtDifference) {
  FormatState s{ScanInput{text, 0, 1},
                WorkText(work, formatLimit(text.size()), text),
                options,
                openSeq,
                faults,
                trace,
                {}};
  if (stopAtDifference) s.out.stopAtDifference();
  while (s.in.pos < text.size() && !s.out.stopped()) {
    // A NUL ends the text, found along the way rather than by a pass of
    // its own.
    std::size_t runEnd = s.in.pos;
    // The walk reads on in uneven steps; asking early for the text ahead
    // keeps it from waiting on memory in a large file.
    __builtin_prefetch(text.data() + std::min(runEnd + 2048, text.size()));
    // After a tag there is often another tag or a line break: no run to
    // search for or copy.
    if (!endsRun(text[runEnd])) {
      runEnd = findAny<'<', '\r', '\n', '\0'>(text.data(), runEnd, text.size());
      s.out.append(text.data() + s.in.pos, runEnd - s.in.pos);
      s.in.pos = runEnd;
    }
    if (runEnd == text.size() || text[runEnd] == '\0') break;
    if (text[runEnd] == '<') {
      construct(s);
    } else {
      sourceLineBreak(s);
    }
  }
  if (s.inRegion && trace != nullptr) trace->regions.back().end = s.in.pos;
  if (s.out.stopped()) return {Verdict::kDiffers, {}};
  const std::string_view formatted = s.out.finish();
  if (!s.stack.finish(faults)) return {Verdict::kFailed, formatted};
  if (s.out.overflowed()) return {Verdict::kTooLarge, {}};
  return {Verdict::kSound, formatted, s.mayChangeAgain};
}

}  // namespace tagfmt

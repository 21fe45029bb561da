// The reformatting pass: one walk over a file's text that re-indents it,
// moves tags onto lines of their own and drives the nesting check.
#include "format/byte_scan.h"
#include "format/format.h"

namespace tagfmt {

namespace {

struct FormatState {
  ScanInput in;
  WorkText out;
  const RunOptions& options;
  std::int64_t& openSeq;
  NestingFaults& faults;
  ElementStack stack;
  std::int64_t indent = 0;
  // Where the break for the latest source line break ends and begins.
  std::size_t lineStart = 0;
  std::size_t breakStart = 0;
  // Where that source line break stands in the input, and its length when it
  // is a CR LF and spaces only (else 0).
  std::size_t sourceBreakAt = 0;
  std::size_t plainBreakLength = 0;
};

// A break at indentation 0 or less writes nothing, not even the CR LF.
void emitBreak(WorkText& out, std::int64_t indent) {
  if (indent > 0) out.appendBreak(static_cast<std::size_t>(indent));
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

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
  const std::size_t spacesEnd = in.pos;
  in.pos = findNotAny<' ', '\t', '\v', '\f'>(text.data(), in.pos, text.size());
  return crLf && in.pos == spacesEnd;
}

// Writes the break for the latest source line break at the current
// indentation. In a tidy file the source's own CR LF and spaces are that
// break, or its start, and need no comparing.
void writeLineBreak(FormatState& s) {
  if (s.indent > 0 && s.plainBreakLength >= 2) {
    const std::size_t spaces = s.plainBreakLength - 2;
    const auto wanted = static_cast<std::size_t>(s.indent);
    if (spaces <= wanted &&
        s.out.skipShared(s.sourceBreakAt, s.plainBreakLength)) {
      s.out.appendSpaces(wanted - spaces);
      return;
    }
  }
  emitBreak(s.out, s.indent);
}

void sourceLineBreak(FormatState& s) {
  ++s.in.line;
  s.sourceBreakAt = s.in.pos;
  const bool plain = skipLineStart(s.in);
  s.plainBreakLength = plain ? s.in.pos - s.sourceBreakAt : 0;
  s.breakStart = s.out.size();
  writeLineBreak(s);
  s.lineStart = s.out.size();
}

void scan(FormatState& s, char terminator, bool copy, std::int64_t marker) {
  scanConstruct(s.in, s.out, s.options.markerMode, terminator, copy, marker);
}

// Copies a tag through its ">". A plain tag that gets no marker is copied
// right here: most tags are, and the scanner's call costs more than the copy.
void copyTag(FormatState& s, std::int64_t marker) {
  const std::string_view text = s.in.text;
  const std::size_t end = findPlainTagEnd(text.data(), s.in.pos, text.size());
  if (end == text.size() || (s.options.markerMode && marker > 0)) {
    scan(s, kNoTerminator, true, marker);
    return;
  }
  s.out.append(text.data() + s.in.pos, end + 1 - s.in.pos);
  s.in.pos = end + 1;
}

void closingTag(FormatState& s) {
  const int index = findTagRule(s.in.text.substr(s.in.pos + 2));
  std::int64_t marker = 0;
  if (index >= 0) {
    const TagRule& rule = kTagRules[static_cast<std::size_t>(index)];
    const std::int64_t seq = s.stack.close(index, s.in.line, s.faults);
    s.indent -= rule.indent;
    if (s.lineStart == s.out.size()) {
      // First on its line: take the break back and redo it one level out.
      s.out.truncate(s.breakStart);
      writeLineBreak(s);
    } else if (rule.breakBeforeClose) {
      emitBreak(s.out, s.indent);
    }
    if (rule.numbered) marker = seq;
  }
  copyTag(s, marker);
}

void openingTag(FormatState& s) {
  const int index = findTagRule(s.in.text.substr(s.in.pos + 1));
  std::int64_t marker = 0;
  if (index >= 0) {
    const TagRule& rule = kTagRules[static_cast<std::size_t>(index)];
    ++s.openSeq;
    if (rule.breakBeforeOpen && s.lineStart != s.out.size()) {
      emitBreak(s.out, s.indent);
    }
    s.stack.open(index, s.openSeq, s.in.line);
    s.indent += rule.indent;
    if (rule.numbered) marker = s.openSeq;
  }
  copyTag(s, marker);
}

void construct(FormatState& s) {
  const std::string_view rest = s.in.text.substr(s.in.pos);
  const char next = rest.size() > 1 ? rest[1] : '\0';
  if (next == '!') {
    if (startsWithPairMarker(rest)) {
      scan(s, kNoTerminator, false, 0);  // an old pair marker goes
    } else {
      scan(s, '-', true, 0);
    }
  } else if (next == '/') {
    closingTag(s);
  } else if (next == '?') {
    scan(s, '?', true, 0);
  } else {
    openingTag(s);
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
                     NestingFaults& faults) {
  FormatState s{ScanInput{text, 0, 1},
                WorkText(work, formatLimit(text.size()), text),
                options,
                openSeq,
                faults,
                {}};
  while (s.in.pos < text.size()) {
    // A NUL ends the text, found along the way rather than by a pass of
    // its own.
    std::size_t runEnd = s.in.pos;
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
  const std::string_view formatted = s.out.finish();
  if (!s.stack.finish(faults)) return {Verdict::kFailed, formatted};
  if (s.out.overflowed()) return {Verdict::kTooLarge, {}};
  return {Verdict::kSound, formatted};
}

}  // namespace tagfmt

// Finds the causes of a text's nesting faults by walking it as the pass
// does: self-closed and prefix-named recognised tags, and constructs that
// run on past their own end.
#include "format/explain.h"

#include "format/byte_scan.h"
#include "format/element_stack.h"
#include "format/format.h"
#include "format/scanner.h"
#include "format/tag_rules.h"
#include "format/work_text.h"

namespace tagfmt {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// One recognised tag met on the walk.
struct SeenTag {
  std::uint64_t line;
  std::size_t at;
  std::size_t end;
  int rule;
  bool closing;
  bool selfClosed;
  bool prefix;  // the name as written is longer than the rule's
  std::string_view name;
};

// A "<!" construct that runs on past its own end.
struct RunOn {
  NoteKind kind;
  std::uint64_t line;  // of the "<!", or of the quote that caused it
  std::size_t at;      // that byte's offset
  std::size_t end;     // one past the construct's last byte
  std::uint64_t startLine;
  std::uint64_t endLine;
  bool toEnd;
  char quote;
  std::size_t length;
  std::uint32_t hiddenRules;  // rules of the recognised tags it swallows
};

// The tags one fault involves, as indices into the walk's tags.
struct Involved {
  std::size_t closeTag = kNone;
  std::size_t openTag = kNone;
};

struct Walk {
  explicit Walk(std::string_view text)
      : in{text, 0, 1}, out(scratch, 0, text) {}
  ScanInput in;
  std::string scratch;
  WorkText out;  // never written: every scan here skips
  bool keepTags = true;
  std::vector<SeenTag> tags;
  std::vector<RunOn> runOns;
  ElementStack stack;
  std::vector<std::size_t> openTags;  // mirrors the stack
  NestingFaults faults;
  std::vector<Involved> involved;  // one per fault
};

bool isNameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         (c >= '0' && c <= '9') || c == ':' || c == '-' || c == '_' || c == '.';
}

// The rules of the recognised tags that start in text[from, to).
std::uint32_t rulesWithin(std::string_view text, std::size_t from,
                          std::size_t to) {
  std::uint32_t rules = 0;
  for (std::size_t pos = text.find('<', from); pos < to;
       pos = text.find('<', pos + 1)) {
    const std::size_t nameAt =
        pos + (pos + 1 < text.size() && text[pos + 1] == '/' ? 2 : 1);
    const int rule = findTagRule(text.substr(std::min(nameAt, text.size())));
    if (rule >= 0) rules |= 1u << rule;
  }
  return rules;
}

// Where the quote that is open at `end` opened, scanning from `start` by
// the scanner's quote rules, or kNone when no quote is open there.
std::size_t openQuoteAt(std::string_view text, std::size_t start,
                        std::size_t end) {
  bool inDouble = false;
  bool inSingle = false;
  std::size_t opened = kNone;
  for (std::size_t pos = start; pos < end; ++pos) {
    if (text[pos] == '"' && !inSingle) {
      inDouble = !inDouble;
      opened = pos;
    } else if (text[pos] == '\'' && !inDouble) {
      inSingle = !inSingle;
      opened = pos;
    }
  }
  return inDouble || inSingle ? opened : kNone;
}

std::uint64_t lineAt(std::string_view text, std::size_t from,
                     std::uint64_t line, std::size_t pos) {
  for (std::size_t i = from; i < pos; ++i) line += text[i] == '\n' ? 1 : 0;
  return line;
}

// A comment's own end is its first "->"; a declaration's its first ">".
std::size_t ownEnd(std::string_view text, std::size_t start, bool comment) {
  if (!comment) return text.find('>', start + 2);
  const std::size_t dash = text.find("->", start + 3);
  return dash == std::string_view::npos ? kNone : dash + 1;
}

void declarationOrComment(Walk& w) {
  const std::string_view text = w.in.text;
  const std::size_t start = w.in.pos;
  const std::uint64_t startLine = w.in.line;
  const bool closed = scanConstruct(w.in, w.out, false, '-', false, 0);
  const std::size_t end = closed ? w.in.pos - 1 : w.in.pos;
  const bool comment = text.substr(start).starts_with("<!--");
  const std::size_t own = ownEnd(text, start, comment);
  if (own == kNone || own >= end) return;
  RunOn run{NoteKind::kDeclaration,
            startLine,
            start,
            w.in.pos,
            startLine,
            w.in.line,
            !closed,
            '\0',
            end - start,
            rulesWithin(text, own + 1, end)};
  if (comment) {
    const std::size_t quote = openQuoteAt(text, start, own);
    if (quote == kNone) return;
    run.kind = NoteKind::kQuoteInComment;
    run.quote = text[quote];
    run.line = lineAt(text, start, startLine, quote);
    run.at = quote;
  }
  w.runOns.push_back(run);
}

void recognisedTag(Walk& w, std::size_t nameAt, bool closing) {
  const std::string_view text = w.in.text;
  const std::size_t start = w.in.pos;
  const std::uint64_t line = w.in.line;
  const int rule = findTagRule(text.substr(std::min(nameAt, text.size())));
  const bool closed =
      scanConstruct(w.in, w.out, false, kNoTerminator, false, 0);
  if (rule < 0) return;
  const std::string_view name =
      text.substr(nameAt, tagNameLength(text.substr(nameAt)));
  const bool selfClosed =
      !closing && closed && w.in.pos - start >= 3 && text[w.in.pos - 2] == '/';
  const std::size_t index = w.tags.size();
  // A sound text's notes name no tag: a record per tag would only cost
  // memory on a page made of tags.
  if (w.keepTags) {
    w.tags.push_back(
        {line, start, w.in.pos, rule, closing, selfClosed,
         name.size() > kTagRules[static_cast<std::size_t>(rule)].name.size(),
         name});
  }
  if (!closing) {
    w.stack.open(rule, static_cast<std::int64_t>(index), line, start);
    w.openTags.push_back(index);
    return;
  }
  const std::size_t before = w.faults.size();
  w.stack.close(rule, line, start, w.faults);
  Involved involved{index, kNone};
  if (!w.openTags.empty()) {
    involved.openTag = w.openTags.back();
    w.openTags.pop_back();
  }
  if (w.faults.size() > before) w.involved.push_back(involved);
}

void construct(Walk& w) {
  const std::string_view rest = w.in.text.substr(w.in.pos);
  const char next = rest.size() > 1 ? rest[1] : '\0';
  if (next == '!') {
    if (startsWithPairMarker(rest)) {
      scanConstruct(w.in, w.out, false, kNoTerminator, false, 0);
    } else {
      declarationOrComment(w);
    }
  } else if (next == '?') {
    scanConstruct(w.in, w.out, false, '?', false, 0);
  } else {
    recognisedTag(w, w.in.pos + (next == '/' ? 2 : 1), next == '/');
  }
}

void walk(Walk& w) {
  const std::string_view text = w.in.text;
  while (w.in.pos < text.size()) {
    w.in.pos = findAny<'<', '\r', '\n'>(text.data(), w.in.pos, text.size());
    if (w.in.pos == text.size()) break;
    const char byte = text[w.in.pos];
    if (byte == '<') {
      construct(w);
      continue;
    }
    // CR LF, LF and a lone CR are one line break each.
    ++w.in.line;
    ++w.in.pos;
    if (byte == '\r' && w.in.pos < text.size() && text[w.in.pos] == '\n') {
      ++w.in.pos;
    }
  }
  w.stack.finish(w.faults);
  for (auto it = w.openTags.rbegin(); it != w.openTags.rend(); ++it) {
    w.involved.push_back({kNone, *it});
  }
}

Note tagNote(NoteKind kind, std::size_t fault, const SeenTag& tag) {
  Note note;
  note.kind = kind;
  note.fault = fault;
  note.line = tag.line;
  note.at = tag.at;
  note.endAt = tag.end;
  note.ruleIndex = tag.rule;
  note.name = std::string(tag.name);
  note.closing = tag.closing;
  return note;
}

Note runOnNote(std::size_t fault, const RunOn& run) {
  Note note;
  note.kind = run.kind;
  note.fault = fault;
  note.line = run.line;
  note.at = run.at;
  note.endAt = run.end;
  note.endLine = run.endLine;
  note.toEnd = run.toEnd;
  note.quote = run.quote;
  return note;
}

// A run-on explains a fault when it swallows a tag of the fault's rules on
// the fault's side of it.
bool runOnExplains(const RunOn& run, const NestingFault& fault) {
  std::uint32_t rules = 0;
  if (fault.closeRule >= 0) rules |= 1u << fault.closeRule;
  if (fault.openRule >= 0) rules |= 1u << fault.openRule;
  if ((run.hiddenRules & rules) == 0) return false;
  return fault.kind == FaultKind::kMissing ? run.startLine >= fault.openLine
                                           : run.startLine <= fault.line;
}

// Notes for the tags fault `index` involves, each tag's causes noted once.
void tagNotes(const Walk& w, std::size_t index, std::vector<bool>& noted,
              Notes& notes) {
  const Involved& involved = w.involved[index];
  for (const std::size_t tagIndex : {involved.openTag, involved.closeTag}) {
    if (tagIndex == kNone || noted[tagIndex]) continue;
    const SeenTag& tag = w.tags[tagIndex];
    if (tag.selfClosed) {
      notes.push_back(tagNote(NoteKind::kSelfClosed, index, tag));
    }
    if (tag.prefix) notes.push_back(tagNote(NoteKind::kPrefixName, index, tag));
    noted[tagIndex] = tag.selfClosed || tag.prefix;
  }
}

}  // namespace

std::size_t tagNameLength(std::string_view text) {
  std::size_t length = 0;
  while (length < text.size() && isNameByte(text[length])) ++length;
  return length;
}

Notes explainText(std::string_view text, const NestingFaults& faults) {
  // The pass sees the text up to its first NUL.
  Walk w(text.substr(0, text.find('\0')));
  w.keepTags = !faults.empty();
  walk(w);
  if (w.faults != faults) return {};
  Notes notes;
  std::vector<bool> tagNoted(w.tags.size(), false);
  std::vector<bool> runNoted(w.runOns.size(), false);
  for (std::size_t i = 0; i < faults.size(); ++i) {
    tagNotes(w, i, tagNoted, notes);
    for (std::size_t r = 0; r < w.runOns.size(); ++r) {
      if (runNoted[r] || !runOnExplains(w.runOns[r], faults[i])) continue;
      notes.push_back(runOnNote(i, w.runOns[r]));
      runNoted[r] = true;
    }
  }
  const std::size_t size = w.in.text.size();
  for (std::size_t r = 0; r < w.runOns.size(); ++r) {
    if (!runNoted[r] && w.runOns[r].length > size / 2) {
      notes.push_back(runOnNote(kNoFault, w.runOns[r]));
    }
  }
  return notes;
}

}  // namespace tagfmt

// tagfmt-check's wording of nesting faults and of the notes that explain
// them.
#include "report/wording.h"

namespace tagfmt {

namespace {

std::string ruleName(int ruleIndex) {
  return std::string(kTagRules[static_cast<std::size_t>(ruleIndex)].name);
}

std::string tagAsWritten(const Note& note) {
  return (note.closing ? "</" : "<") + note.name + ">";
}

std::string tagAsCounted(const Note& note) {
  return (note.closing ? "</" : "<") + ruleName(note.ruleIndex) + ">";
}

// The fix that follows each note on content tagfmt changes.
constexpr const char* kKeepIt =
    "; to keep it as it is, put the element between <!-- tagfmt: off --> "
    "and <!-- tagfmt: on -->";

std::string quoteName(char quote) {
  return quote == '"' ? "quotation mark" : "apostrophe";
}

}  // namespace

std::string faultText(const NestingFault& fault) {
  switch (fault.kind) {
    case FaultKind::kUnexpected:
      return "unexpected </" + ruleName(fault.closeRule) + ">";
    case FaultKind::kMismatch: {
      const std::string open = ruleName(fault.openRule);
      return "</" + ruleName(fault.closeRule) + "> instead of </" + open +
             "> (<" + open + "> on line " + std::to_string(fault.openLine) +
             ")";
    }
    case FaultKind::kMissing:
      return "missing </" + ruleName(fault.openRule) + ">";
  }
  return {};
}

std::string noteText(const Note& note) {
  const std::string line = std::to_string(note.line);
  const std::string endLine = std::to_string(note.endLine);
  switch (note.kind) {
    case NoteKind::kSelfClosed:
      return "<" + note.name + "> on line " + line +
             " is written self-closed (\"/>\"), and a recognised tag counts "
             "as opened even then";
    case NoteKind::kPrefixName:
      return tagAsWritten(note) + " counts as " + tagAsCounted(note) +
             ": names match by their beginning";
    case NoteKind::kDeclaration:
      if (note.toEnd) {
        return "the declaration on line " + line +
               " runs on to the end of the file, since no \"->\" follows it, "
               "and the tags after it are not seen";
      }
      return "the declaration on line " + line +
             " runs on to the first \"->\" on line " + endLine +
             ", and the tags between are not seen";
    case NoteKind::kQuoteInComment:
      return "the " + quoteName(note.quote) + " on line " + line +
             " opens a quote inside the comment, which then runs on to " +
             (note.toEnd ? "the end of the file" : "line " + endLine);
    case NoteKind::kSpacesShow:
      return "re-indents the content of <" + note.name + ">, whose spaces " +
             (note.inOutput ? "show in the output" : "show on the page") +
             kKeepIt;
    case NoteKind::kBreaksMatter:
      return "removes a line break inside <" + note.name +
             ">, where line breaks can matter" + kKeepIt;
    case NoteKind::kRegionUnclosed:
      return std::string(kRegionOff) + " has no " + std::string(kRegionOn) +
             " after it; the rest of the file is left as it is";
  }
  return {};
}

std::string placeText(std::uint64_t line, const TextSpan& span) {
  std::string place = std::to_string(line);
  if (span.column > 0) {
    place += ':';
    place += std::to_string(span.column);
  }
  return place;
}

std::string faultLine(const std::string& path, const NestingFault& fault) {
  return path + ":" + placeText(fault.line, fault.span) +
         ": nesting error: " + faultText(fault) + "\n";
}

std::string noteLine(const std::string& path, const Note& note) {
  return path + ":" + placeText(note.line, note.span) +
         ": note: " + noteText(note) + "\n";
}

}  // namespace tagfmt

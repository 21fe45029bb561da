// Diagnostics and formatting edits of one document, worded as tagfmt-check
// words them.
#include "lsp/diagnostics.h"

#include <algorithm>

#include "format/places.h"
#include "lsp/json_bytes.h"
#include "report/check_output.h"
#include "report/check_wording.h"

namespace tagfmt::lsp {

namespace {

using json = ProtocolJson;

// The protocol's DiagnosticSeverity.
constexpr int kError = 1;
constexpr int kInformation = 3;
constexpr int kHint = 4;

json positionJson(Position position) {
  return {{"line", position.line}, {"character", position.character}};
}

// The range of line `line`'s content, from its first byte that is not a
// blank, or an empty range at its start.
json lineRange(std::string_view text, const LineIndex& index,
               std::size_t line) {
  std::size_t start = index.lineStart(line);
  const std::size_t end = index.lineEnd(line);
  while (start < end && (text[start] == ' ' || text[start] == '\t')) ++start;
  if (start == end) start = index.lineStart(line);
  return {{"start", positionJson(index.position(start))},
          {"end", positionJson(index.position(end))}};
}

// Lines in the engine count from 1; a line of 0 stands for the first.
std::size_t protocolLine(std::uint64_t line) {
  return line == 0 ? 0 : static_cast<std::size_t>(line - 1);
}

json diagnostic(std::string_view text, const LineIndex& index,
                std::uint64_t line, int severity, std::string message) {
  return {{"range", lineRange(text, index, protocolLine(line))},
          {"severity", severity},
          {"source", "tagfmt"},
          {"message", std::move(message)}};
}

// The range of the bytes [from, to) of the text.
json byteRange(const LineIndex& index, std::size_t from, std::size_t to) {
  return {{"start", positionJson(index.position(from))},
          {"end", positionJson(index.position(std::max(from, to)))}};
}

// The range of the tag or construct whose "<" is at `at`.
json tagRange(std::string_view text, const LineIndex& index, std::size_t at) {
  return byteRange(index, at, constructEnd(text, at));
}

// What a note points at: its tag, or the "<!" or quote where a run-on
// starts, since the run-on itself may cover the rest of the text.
json noteRange(const LineIndex& index, const Note& note) {
  switch (note.kind) {
    case NoteKind::kDeclaration:
      return byteRange(index, note.at, std::min(note.at + 2, note.endAt));
    case NoteKind::kQuoteInComment:
      return byteRange(index, note.at, std::min(note.at + 1, note.endAt));
    default:
      return byteRange(index, note.at, note.endAt);
  }
}

std::string openTagName(int ruleIndex) {
  std::string name = "<";
  name += kTagRules[static_cast<std::size_t>(ruleIndex)].name;
  name += '>';
  return name;
}

json faultDiagnostic(std::string_view text, const LineIndex& index,
                     const NestingFault& fault, const std::string& uri) {
  json item = {{"range", tagRange(text, index, fault.at)},
               {"severity", kError},
               {"source", "tagfmt"},
               {"message", faultText(fault)}};
  if (fault.openRule >= 0 && fault.openLine > 0) {
    item["relatedInformation"] = json::array(
        {{{"location",
           {{"uri", uri}, {"range", tagRange(text, index, fault.openAt)}}},
          {"message", openTagName(fault.openRule) + " opened here"}}});
  }
  return item;
}

// The line of the first byte where `text` and `tidied` differ.
std::uint64_t firstChangedLine(std::string_view text, std::string_view tidied,
                               const LineIndex& index) {
  std::size_t at = 0;
  while (at < text.size() && at < tidied.size() && text[at] == tidied[at]) {
    ++at;
  }
  return index.position(at).line + 1;
}

// The diagnostic that says what the report comes to, if any.
void addVerdict(std::string_view text, const LineIndex& index,
                const FileReport& report, const std::string& uri, json& list) {
  switch (verdictOf(report)) {
    case FileVerdict::kHasNul: {
      const std::size_t nul = text.find('\0');
      list.push_back(diagnostic(text, index, index.position(nul).line + 1,
                                kError, whyNotChecked(report)));
      break;
    }
    case FileVerdict::kNoMemory:
      list.push_back(diagnostic(text, index, 1, kError, whyNotChecked(report)));
      break;
    case FileVerdict::kInternalError:
      list.push_back(
          diagnostic(text, index, 1, kError, whyNotFormatted(report)));
      break;
    case FileVerdict::kFaults:
      for (const NestingFault& fault : report.faults) {
        list.push_back(faultDiagnostic(text, index, fault, uri));
      }
      break;
    case FileVerdict::kWouldTidy:
      list.push_back(diagnostic(text, index,
                                firstChangedLine(text, report.tidied, index),
                                kHint, "would be tidied"));
      break;
    default:
      break;
  }
}

}  // namespace

FileReport checkDocument(std::string_view text, const RunOptions& options) {
  return reportOfDecision({}, decideAndExplain(text, options, 0));
}

json diagnosticsJson(std::string_view text, const FileReport& report,
                     const std::string& uri, PositionEncoding encoding) {
  const LineIndex index(text, encoding);
  json list = json::array();
  addVerdict(text, index, report, uri, list);
  for (const Note& note : report.notes) {
    list.push_back({{"range", noteRange(index, note)},
                    {"severity", kInformation},
                    {"source", "tagfmt"},
                    {"message", noteText(note)}});
  }
  return list;
}

std::string formattingEdits(std::string_view text, const RunOptions& options,
                            std::vector<ByteEdit>& edits) {
  edits.clear();
  const FileReport report = reportOfDecision({}, decideText(text, options, 0));
  if (verdictOf(report) == FileVerdict::kWouldTidy) {
    edits = lineEdits(text, report.tidied);
  }
  return whyNotFormatted(report);
}

json textEditsJson(std::string_view text, const std::vector<ByteEdit>& edits,
                   PositionEncoding encoding) {
  const LineIndex index(text, encoding);
  json list = json::array();
  for (const ByteEdit& edit : edits) {
    list.push_back({{"range",
                     {{"start", positionJson(index.position(edit.from))},
                      {"end", positionJson(index.position(edit.to))}}},
                    {"newText", bytesToUtf8(edit.text)}});
  }
  return list;
}

}  // namespace tagfmt::lsp

// Diagnostics and formatting edits of one document, worded as tagfmt-check
// words them.
#include "lsp/diagnostics.h"

#include "lsp/json_bytes.h"
#include "report/messages.h"
#include "report/wording.h"

namespace tagfmt::lsp {

namespace {

using nlohmann::json;

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

std::string openTagName(int ruleIndex) {
  std::string name = "<";
  name += kTagRules[static_cast<std::size_t>(ruleIndex)].name;
  name += '>';
  return name;
}

json faultDiagnostic(std::string_view text, const LineIndex& index,
                     const NestingFault& fault, const std::string& uri) {
  json item = diagnostic(text, index, fault.line, kError, faultText(fault));
  if (fault.openRule >= 0 && fault.openLine > 0) {
    item["relatedInformation"] = json::array(
        {{{"location",
           {{"uri", uri},
            {"range", lineRange(text, index, protocolLine(fault.openLine))}}},
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

}  // namespace

DocumentCheck checkDocument(std::string_view text, const RunOptions& options) {
  DocumentCheck check;
  check.decision = decideAndExplain(text, options, 0);
  check.notes = std::move(check.decision.notes);
  return check;
}

json diagnosticsJson(std::string_view text, const DocumentCheck& check,
                     const std::string& uri, PositionEncoding encoding) {
  const LineIndex index(text, encoding);
  json list = json::array();
  const TextDecision& decision = check.decision;
  switch (decision.outcome) {
    case TextOutcome::kTidy:
      break;
    case TextOutcome::kHasNul: {
      const std::size_t nul = text.find('\0');
      list.push_back(diagnostic(text, index, index.position(nul).line + 1,
                                kError, "contains a NUL byte, not checked"));
      break;
    }
    case TextOutcome::kTooLarge:
      list.push_back(
          diagnostic(text, index, 1, kError, "no memory, not checked"));
      break;
    case TextOutcome::kInternalError:
      list.push_back(diagnostic(text, index, 1, kError,
                                std::string(kInternalErrorText) + "; " +
                                    std::string(kReportThePage)));
      break;
    case TextOutcome::kFaults:
      for (const NestingFault& fault : decision.faults) {
        list.push_back(faultDiagnostic(text, index, fault, uri));
      }
      break;
    case TextOutcome::kChanged:
      list.push_back(diagnostic(text, index,
                                firstChangedLine(text, decision.tidied, index),
                                kHint, "would be tidied"));
      break;
  }
  for (const Note& note : check.notes) {
    list.push_back(
        diagnostic(text, index, note.line, kInformation, noteText(note)));
  }
  return list;
}

std::string formattingEdits(std::string_view text, const RunOptions& options,
                            std::vector<ByteEdit>& edits) {
  edits.clear();
  const TextDecision decision = decideText(text, options, 0);
  switch (decision.outcome) {
    case TextOutcome::kTidy:
      return {};
    case TextOutcome::kChanged:
      edits = lineEdits(text, decision.tidied);
      return {};
    case TextOutcome::kHasNul:
      return "contains a NUL byte, not formatted";
    case TextOutcome::kTooLarge:
      return "no memory, not formatted";
    case TextOutcome::kInternalError:
      return std::string(kInternalErrorText) + "; " +
             std::string(kReportThePage);
    case TextOutcome::kFaults:
      break;
  }
  if (decision.faults.empty()) return "not formatted: the tags do not nest";
  const NestingFault& first = decision.faults.front();
  std::string why = "not formatted: line " + std::to_string(first.line) +
                    ": nesting error: " + faultText(first);
  if (decision.faults.size() > 1) {
    why += " (and " + std::to_string(decision.faults.size() - 1) + " more)";
  }
  return why;
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

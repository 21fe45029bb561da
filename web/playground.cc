// The playground's view of a file job: the same steps and messages as
// tagfmt's, on a text in memory.
#include "web/playground.h"

#include <new>

#include "format/decision.h"
#include "format/explain.h"
#include "report/check_wording.h"
#include "report/file_report.h"
#include "report/json.h"
#include "report/tagfmt_wording.h"

namespace tagfmt {

namespace {

// tagfmt-check's note lines in its order: those on each fault after it,
// then those on no fault.
void addNotes(const FileReport& report, const std::string& fileName,
              PageResult& result) {
  for (std::size_t fault = 0; fault <= report.faults.size(); ++fault) {
    const std::size_t wanted = fault == report.faults.size() ? kNoFault : fault;
    for (const Note* note : notesOn(report, wanted)) {
      result.notes.push_back({note->line, noteLine(fileName, *note)});
    }
  }
}

// The steps of tagfmt's file job after the file is read.
void runPageJob(std::string_view input, const RunOptions& options,
                const std::string& fileName, PageResult& result) {
  FileReport report =
      reportOfDecision(fileName, decideAndExplain(input, options, 0));
  for (TextMessage& message : pageMessages(report)) {
    result.messages.push_back({message.line, std::move(message.text)});
  }
  const FileVerdict verdict = verdictOf(report);
  if (verdict == FileVerdict::kWouldTidy) {
    result.text = std::move(report.tidied);
    result.written = true;
  }
  // Line ends alone change nothing that a note could explain.
  if (verdict == FileVerdict::kFaults ||
      (verdict == FileVerdict::kWouldTidy && !options.lineEndsOnly)) {
    addNotes(report, fileName, result);
  }
}

Json messagesJson(const std::vector<PageMessage>& messages) {
  Json list = Json::array();
  for (const PageMessage& message : messages) {
    list.push_back(Json{{"line", message.line}, {"text", message.text}});
  }
  return list;
}

}  // namespace

PageResult tidyForPage(std::string_view input, const RunOptions& options,
                       const std::string& fileName) {
  PageResult result;
  try {
    runPageJob(input, options, fileName, result);
  } catch (const std::bad_alloc&) {
    // Nothing is written then, as in the tool.
    result = PageResult{};
    result.messages.push_back({0, std::string(kNoMemoryMessage)});
  }
  return result;
}

std::string pageResultJson(const PageResult& result) {
  return jsonText(Json{{"written", result.written},
                       {"messages", messagesJson(result.messages)},
                       {"notes", messagesJson(result.notes)}});
}

std::string tagRulesJson() {
  Json rules = Json::array();
  for (const TagRule& rule : kTagRules) {
    rules.push_back(Json{{"name", std::string(rule.name)},
                         {"indent", rule.indent},
                         {"breakBeforeOpen", rule.breakBeforeOpen},
                         {"breakBeforeClose", rule.breakBeforeClose},
                         {"numbered", rule.numbered}});
  }
  return jsonText(rules);
}

}  // namespace tagfmt

// The playground's view of a file job: the same steps and messages as
// tagfmt's, on a text in memory.
#include "web/playground.h"

#include <new>

#include "format/decision.h"
#include "format/explain.h"
#include "report/json.h"
#include "report/messages.h"
#include "report/wording.h"

namespace tagfmt {

namespace {

// tagfmt-check's notes in its order: those on each fault after it, then
// those on no fault.
void addNotes(const Notes& notes, std::size_t faultCount,
              const std::string& fileName, PageResult& result) {
  for (std::size_t fault = 0; fault <= faultCount; ++fault) {
    const std::size_t wanted = fault == faultCount ? kNoFault : fault;
    for (const Note& note : notes) {
      if (note.fault == wanted) {
        result.notes.push_back({note.line, noteLine(fileName, note)});
      }
    }
  }
}

// The steps of tagfmt's file job after the file is read.
void runPageJob(std::string_view input, const RunOptions& options,
                const std::string& fileName, PageResult& result) {
  TextDecision decision = decideAndExplain(input, options, 0);
  const NestingFaults& faults = decision.faults;
  switch (decision.outcome) {
    case TextOutcome::kHasNul:
      result.messages.push_back({0, std::string(kHasNulMessage)});
      return;
    case TextOutcome::kFaults:
      for (const NestingFault& fault : faults) {
        result.messages.push_back({fault.line, nestingMessage(fault)});
      }
      addNotes(decision.notes, faults.size(), fileName, result);
      return;
    case TextOutcome::kTooLarge:
      result.messages.push_back({0, std::string(kNoMemoryMessage)});
      return;
    case TextOutcome::kInternalError:
      result.messages.push_back({0, std::string(kInternalErrorMessage)});
      result.messages.push_back(
          {0, "   " + std::string(kReportThePage) + "\n"});
      return;
    case TextOutcome::kTidy:
      return;
    case TextOutcome::kChanged:
      break;
  }
  result.text = std::move(decision.tidied);
  result.written = true;
  if (!options.lineEndsOnly) {
    addNotes(decision.notes, 0, fileName, result);
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
    result.messages.push_back({0, "-> no memory\n"});
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

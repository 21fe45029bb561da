// The playground's view of a file job: the same steps and messages as
// tagfmt's, on a text in memory.
#include "web/playground.h"

#include <new>

#include "format/decision.h"
#include "format/explain.h"
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

void appendJsonString(std::string& json, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  json += '"';
  for (const char byte : text) {
    const auto code = static_cast<unsigned char>(byte);
    if (byte == '"' || byte == '\\') {
      json += '\\';
      json += byte;
    } else if (byte == '\n') {
      json += "\\n";
    } else if (code < 0x20) {
      json += "\\u00";
      json += kHex[code >> 4];
      json += kHex[code & 0xF];
    } else {
      json += byte;
    }
  }
  json += '"';
}

void appendJsonMessages(std::string& json,
                        const std::vector<PageMessage>& messages) {
  json += '[';
  for (std::size_t i = 0; i < messages.size(); ++i) {
    if (i > 0) json += ',';
    json += "{\"line\":" + std::to_string(messages[i].line) + ",\"text\":";
    appendJsonString(json, messages[i].text);
    json += '}';
  }
  json += ']';
}

const char* jsonBool(bool value) { return value ? "true" : "false"; }

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
  std::string json = "{\"written\":";
  json += jsonBool(result.written);
  json += ",\"messages\":";
  appendJsonMessages(json, result.messages);
  json += ",\"notes\":";
  appendJsonMessages(json, result.notes);
  return json + '}';
}

std::string tagRulesJson() {
  std::string json = "[";
  for (const TagRule& rule : kTagRules) {
    if (json.size() > 1) json += ',';
    json += "{\"name\":";
    appendJsonString(json, rule.name);
    json += ",\"indent\":" + std::to_string(rule.indent) +
            ",\"breakBeforeOpen\":" + jsonBool(rule.breakBeforeOpen) +
            ",\"breakBeforeClose\":" + jsonBool(rule.breakBeforeClose) +
            ",\"numbered\":" + jsonBool(rule.numbered) + '}';
  }
  return json + ']';
}

}  // namespace tagfmt

// tagfmt's own messages: the engine's nesting faults and what befell a file,
// worded from its report.
#include "report/tagfmt_wording.h"

#include <initializer_list>

#include "report/names.h"

namespace tagfmt {

const std::string_view kHasNulMessage("-> contains a NUL byte, not changed\n");
const std::string_view kNoMemoryMessage("-> no memory\n");
const std::string_view kInternalErrorText(
    "internal error: tidying would change the page's content, not changed");
const std::string_view kInternalErrorMessage(
    "-> internal error: tidying would change the page's content, not "
    "changed\n");
const std::string_view kReportThePage(
    "please report this page to tagfmt's developers");
const std::string_view kCannotOpenMessage("-> cannot open\n");
const std::string_view kCannotReadMessage("-> cannot read\n");
const std::string_view kFailedMessage("-> failed\n");

namespace {

std::string_view ruleName(int ruleIndex) {
  return kTagRules[static_cast<std::size_t>(ruleIndex)].name;
}

// Joins the literal and computed pieces of one message.
std::string message(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (const std::string_view piece : pieces) text += piece;
  return text;
}

}  // namespace

std::string writingMessage(std::string_view name) {
  return message({"   writing ", name, "\n"});
}

std::string nestingMessage(const NestingFault& fault) {
  const std::string line = std::to_string(fault.line);
  switch (fault.kind) {
    case FaultKind::kUnexpected:
      return message({"-> Nesting Error Line ", line, ": unexpected </",
                      ruleName(fault.closeRule), ">\n"});
    case FaultKind::kMismatch: {
      const std::string_view open = ruleName(fault.openRule);
      return message({"-> Nesting Error Line ", line, ": </",
                      ruleName(fault.closeRule), "> instead of </", open,
                      "> ( <", open, "> on line ",
                      std::to_string(fault.openLine), ")\n"});
    }
    case FaultKind::kMissing: {
      const std::string_view open = ruleName(fault.openRule);
      return message({"-> Nesting Error: missing </", open, "> ( <", open,
                      "> on line ", line, ")\n"});
    }
  }
  return {};
}

namespace {

// The lines after the name line for a text that was to be rewritten.
std::string writingMessages(const FileReport& report) {
  const std::string backup = writingMessage(printableName(report.backupPath));
  const std::string file = writingMessage(printableName(report.path));
  switch (report.write) {
    case WriteStatus::kNone:
      return {};
    case WriteStatus::kRefused:
      return std::string(kFailedMessage);
    case WriteStatus::kCutShort:
      return std::string(kCannotReadMessage);
    case WriteStatus::kBackupFailed:
      return backup + std::string(kFailedMessage);
    case WriteStatus::kFailed:
      return backup + file + std::string(kFailedMessage);
    case WriteStatus::kWritten:
      return backup + file;
  }
  return {};
}

std::string joined(const std::vector<TextMessage>& messages) {
  std::string text;
  for (const TextMessage& message : messages) text += message.text;
  return text;
}

}  // namespace

std::vector<TextMessage> textMessages(const FileReport& report) {
  std::vector<TextMessage> messages;
  switch (verdictOf(report)) {
    case FileVerdict::kHasNul:
      messages.push_back({0, std::string(kHasNulMessage)});
      break;
    case FileVerdict::kNoMemory:
      messages.push_back({0, std::string(kNoMemoryMessage)});
      break;
    case FileVerdict::kInternalError:
      messages.push_back({0, std::string(kInternalErrorMessage)});
      break;
    case FileVerdict::kFaults:
      for (const NestingFault& fault : report.faults) {
        messages.push_back({fault.line, nestingMessage(fault)});
      }
      break;
    default:
      break;
  }
  return messages;
}

std::vector<TextMessage> pageMessages(const FileReport& report) {
  std::vector<TextMessage> messages = textMessages(report);
  if (verdictOf(report) == FileVerdict::kInternalError) {
    messages.push_back({0, "   " + std::string(kReportThePage) + "\n"});
  }
  return messages;
}

std::string tagfmtLines(const FileReport& report) {
  const std::string name = printableName(report.path) + "\n";
  switch (verdictOf(report)) {
    case FileVerdict::kCannotOpen:
      return std::string(kCannotOpenMessage);
    case FileVerdict::kCannotRead:
      return std::string(kCannotReadMessage);
    case FileVerdict::kNoMemory:
      return std::string(kNoMemoryMessage);
    case FileVerdict::kHasNul:
    case FileVerdict::kFaults:
    case FileVerdict::kInternalError:
      return name + joined(textMessages(report));
    case FileVerdict::kWouldTidy:
    case FileVerdict::kTidied:
    case FileVerdict::kCannotWrite:
      return name + writingMessages(report);
    case FileVerdict::kTidy:
    case FileVerdict::kTooLarge:
    case FileVerdict::kNothingFound:
    case FileVerdict::kNotAPage:
      break;
  }
  return {};
}

}  // namespace tagfmt

// tagfmt's own messages: the engine's nesting faults and what befell a file.
#include "report/messages.h"

#include <initializer_list>

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

}  // namespace tagfmt

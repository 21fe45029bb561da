// The stack of open recognised elements and its nesting-fault messages.
#include <string>

#include "format/format.h"

namespace tagfmt {

namespace {

std::string ruleName(int ruleIndex) {
  return std::string(kTagRules[static_cast<std::size_t>(ruleIndex)].name);
}

}  // namespace

void ElementStack::open(int ruleIndex, std::int64_t seq, std::uint64_t line) {
  entries_.push_back(OpenElement{ruleIndex, seq, line});
}

std::int64_t ElementStack::close(int ruleIndex, std::uint64_t line,
                                 FileReport& report) {
  if (entries_.empty()) {
    failed_ = true;
    report.say("-> Nesting Error Line " + std::to_string(line) +
               ": unexpected </" + ruleName(ruleIndex) + ">\n");
    return 0;
  }
  // The top entry goes even on a mismatch: no search deeper, no resync.
  const OpenElement top = entries_.back();
  entries_.pop_back();
  if (top.ruleIndex != ruleIndex) {
    failed_ = true;
    const std::string expected = ruleName(top.ruleIndex);
    report.say("-> Nesting Error Line " + std::to_string(line) + ": </" +
               ruleName(ruleIndex) + "> instead of </" + expected + "> ( <" +
               expected + "> on line " + std::to_string(top.line) + ")\n");
  }
  return top.seq;
}

bool ElementStack::finish(FileReport& report) {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    const std::string name = ruleName(it->ruleIndex);
    report.say("-> Nesting Error: missing </" + name + "> ( <" + name +
               "> on line " + std::to_string(it->line) + ")\n");
  }
  const bool sound = entries_.empty() && !failed_;
  entries_.clear();
  return sound;
}

}  // namespace tagfmt

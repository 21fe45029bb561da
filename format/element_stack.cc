// The stack of open recognised elements and the nesting faults it finds.
#include "format/element_stack.h"

namespace tagfmt {

std::int64_t ElementStack::closeOther(int ruleIndex, std::uint64_t line,
                                      std::size_t at, NestingFaults& faults) {
  if (entries_.empty()) {
    failed_ = true;
    faults.push_back({FaultKind::kUnexpected, ruleIndex, -1, line, 0, at, 0});
    return 0;
  }
  // The top entry goes even on a mismatch: no search deeper, no resync.
  const OpenElement top = entries_.back();
  entries_.pop_back();
  if (top.ruleIndex != ruleIndex) {
    failed_ = true;
    faults.push_back({FaultKind::kMismatch, ruleIndex, top.ruleIndex, line,
                      top.line, at, top.at});
  }
  return top.seq;
}

bool ElementStack::finish(NestingFaults& faults) {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    faults.push_back({FaultKind::kMissing, -1, it->ruleIndex, it->line,
                      it->line, it->at, it->at});
  }
  const bool sound = entries_.empty() && !failed_;
  entries_.clear();
  return sound;
}

}  // namespace tagfmt

// The stack of open recognised elements and the nesting faults it finds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/format.h"

namespace tagfmt {

// One open recognised element; `at` is the byte offset of its "<".
struct OpenElement {
  int ruleIndex;
  std::int64_t seq;
  std::uint64_t line;
  std::size_t at;
};

// The stack of open recognised elements of one file; it appends every
// nesting fault to the list it is handed, in the order they are found.
class ElementStack {
 public:
  void open(int ruleIndex, std::int64_t seq, std::uint64_t line,
            std::size_t at) {
    entries_.push_back(OpenElement{ruleIndex, seq, line, at});
  }
  // Matches a closing tag against the top entry and removes that entry even
  // when it does not match. Returns the removed entry's seq, or 0 when the
  // stack was empty.
  // `at` is the closing tag's byte offset.
  std::int64_t close(int ruleIndex, std::uint64_t line, std::size_t at,
                     NestingFaults& faults) {
    // Here, once per closing tag, a call would cost more than the match.
    if (!entries_.empty() && entries_.back().ruleIndex == ruleIndex) {
      const std::int64_t seq = entries_.back().seq;
      entries_.pop_back();
      return seq;
    }
    return closeOther(ruleIndex, line, at, faults);
  }
  // Appends a fault for every element still open, innermost first. Returns
  // true when the file nested soundly.
  bool finish(NestingFaults& faults);
  std::size_t depth() const { return entries_.size(); }

 private:
  std::int64_t closeOther(int ruleIndex, std::uint64_t line, std::size_t at,
                          NestingFaults& faults);

  std::vector<OpenElement> entries_;
  bool failed_ = false;
};

}  // namespace tagfmt

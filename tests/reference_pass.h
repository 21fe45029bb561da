// A second, plain implementation of what tagfmt makes of a text, written
// from the rules alone, for tests and fuzzers to hold the engine against.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "format/decision.h"
#include "format/format.h"

namespace tagfmt::reference {

// What the reference makes of a text: the outcome as the decision gives it
// (kInternalError where its own passes do not settle), the tidied text with
// CR LF line ends for kChanged, the first pass's faults and how far the
// first pass moved openSeq.
struct Result {
  TextOutcome outcome = TextOutcome::kTidy;
  std::string tidied;
  NestingFaults faults;
  std::int64_t openCount = 0;
};

// One pass over `text` from `openSeq`, with no shortcut: the output is built
// byte by byte and every source line break is written anew. Returns the
// output with the pass's own line ends, before normalisation.
std::string pass(std::string_view text, const RunOptions& options,
                 std::int64_t openSeq, NestingFaults& faults,
                 std::int64_t& openCount);

// What must survive tidying: `text` without blanks, CR, LF and whole pair
// markers.
std::string content(std::string_view text);

// The whole decision: refuses a NUL, runs the pass, repeats it on its own
// output until it gives that output back, and normalises the line ends.
Result decide(std::string_view text, const RunOptions& options,
              std::int64_t openSeq);

}  // namespace tagfmt::reference

// What tagfmt makes of a file's text, apart from any file: the one decision
// that tagfmt's file job and every other front end share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "format/format.h"

namespace tagfmt {

enum class TextOutcome {
  kTidy,      // tagfmt leaves the file as it is
  kChanged,   // tagfmt rewrites the file with the tidied text
  kHasNul,    // tagfmt refuses a text with a NUL byte
  kFaults,    // the recognised tags do not nest; nothing is written
  kTooLarge,  // the formatted text outgrew formatLimit()
};

// What tagfmt would do with one text.
struct TextDecision {
  TextOutcome outcome = TextOutcome::kTidy;
  // kChanged: the new text, with CR LF line ends.
  std::string tidied;
  // kFaults: the nesting faults, in the order they were found.
  NestingFaults faults;
  // How far the text moves the run's openSeq: its recognised opening tags.
  std::int64_t openCount = 0;
};

// Works out what tagfmt would do with the text `original` under `options`,
// with the run's openSeq at `openSeq` before it. `room` is a buffer the
// caller may have reserved for the tidied text; it becomes `tidied`.
TextDecision decideText(std::string_view original, const RunOptions& options,
                        std::int64_t openSeq, std::string room = {});

}  // namespace tagfmt

// What tagfmt makes of a file's text, apart from any file: one decision that
// tagfmt's file job, tagfmt-check and the playground share.
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

// Works out what tagfmt would do with the text `original` under `options`.
// On kChanged, `tidied` holds the new text with CR LF line ends (room
// reserved in it beforehand is used); on kFaults, `faults` lists the nesting
// faults. `openSeq` counts recognised opening tags across the run.
TextOutcome tidyText(std::string_view original, const RunOptions& options,
                     std::int64_t& openSeq, std::string& tidied,
                     NestingFaults& faults);

}  // namespace tagfmt

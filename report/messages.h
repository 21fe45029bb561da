// tagfmt's own messages about a file: the wording of the engine's faults and
// of the outcomes that leave a file alone. No I/O.
#pragma once

#include <string>
#include <string_view>

#include "format/format.h"

namespace tagfmt {

// The messages for a text refused before anything is written.
extern const std::string_view kHasNulMessage;
extern const std::string_view kNoMemoryMessage;

// What every front end says when the tidied text failed the check before
// it is written or shown, after "-> " in tagfmt's lines; the page is left
// as it is, and the user is asked to report it.
extern const std::string_view kInternalErrorText;
extern const std::string_view kInternalErrorMessage;
extern const std::string_view kReportThePage;

// The messages for a file that could not be read or written.
extern const std::string_view kCannotOpenMessage;
extern const std::string_view kCannotReadMessage;
extern const std::string_view kFailedMessage;

// The progress line for a file about to be written, "   writing NAME\n";
// `name` as it is to be printed.
std::string writingMessage(std::string_view name);

// tagfmt's message for one nesting fault, ending in a line feed, e.g.
// "-> Nesting Error Line 3: unexpected </td>\n".
std::string nestingMessage(const NestingFault& fault);

}  // namespace tagfmt

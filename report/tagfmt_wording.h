// tagfmt's own messages about a file: the wording of the engine's faults and
// of what befell the file, from its report. No I/O.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "format/format.h"
#include "report/file_report.h"

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

// One message about a file's text, with the input line it points at
// (counted from 1), or 0 when it points at none.
struct TextMessage {
  std::uint64_t line = 0;
  std::string text;  // as tagfmt prints it, with its "\n"
};

// The "-> " messages tagfmt gives on the text itself: its faults, its NUL
// byte, or no memory; none for a text it tidies or leaves tidy.
std::vector<TextMessage> textMessages(const FileReport& report);

// What the playground shows beside the page: textMessages, and for an
// internal error the request to report the page.
std::vector<TextMessage> pageMessages(const FileReport& report);

// Everything tagfmt says about one file, each line ending in a line feed:
// the file's name line before the first message about it, then the fault
// or the "   writing" lines and what befell them; "" when there is nothing
// to say. "-> cannot open" and its kin stand alone, with no name line.
std::string tagfmtLines(const FileReport& report);

}  // namespace tagfmt

// tagfmt-check's English for the engine's faults and notes. No I/O, so the
// playground page can compile it too.
#pragma once

#include <cstdint>
#include <string>

#include "format/explain.h"
#include "format/format.h"

namespace tagfmt {

// What a fault says after "PATH:LINE: nesting error: ", e.g.
// "</tr> instead of </td> (<td> on line 3)", "unexpected </td>" or
// "missing </table>".
std::string faultText(const NestingFault& fault);

// What a note says after "PATH:LINE: note: ", e.g. "<thead> counts as <th>:
// names match by their beginning".
std::string noteText(const Note& note);

// "LINE:COLUMN" for a place with a span, else "LINE" (a fault or note
// from a pass that did not place it).
std::string placeText(std::uint64_t line, const TextSpan& span);

// The whole lines, "PATH:LINE:COLUMN: ...", each ending in a line feed.
std::string faultLine(const std::string& path, const NestingFault& fault);
std::string noteLine(const std::string& path, const Note& note);

}  // namespace tagfmt

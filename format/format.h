// The formatting engine's public face: the run's options, the tag table,
// nesting faults and the reformatting pass. It does no file I/O and words no
// message: it hands its nesting faults to the caller, which says them its
// own way. The one decision on a text is in format/decision.h. The pass's
// parts have headers of their own, for the engine and its tests:
// tag_rules.h, work_text.h, scanner.h, element_stack.h and format_text.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tagfmt {

// Flags set by the option words; one instance lives for a whole run.
struct RunOptions {
  bool markerMode = false;    // "+" turns it on, "-" turns it off.
  bool lineEndsOnly = false;  // "-w" turns it on for the rest of the run.
};

// One recognised tag: how its element indents and breaks lines.
struct TagRule {
  std::string_view name;  // lowercase
  int indent;             // columns added for the element's content
  bool breakBeforeOpen;   // opening tag starts a line if something precedes it
  bool breakBeforeClose;  // closing tag starts a line if something precedes it
  bool numbered;          // in marker mode both tags get a pair marker
};

// Searched in this order; a rule's position is its index.
inline constexpr std::array<TagRule, 19> kTagRules = {{
    {"table", 2, true, true, true},
    {"tr", 2, true, true, true},
    {"th", 2, true, false, true},
    {"td", 2, true, false, true},
    {"form", 2, true, true, true},
    {"xsl:stylesheet", 4, true, false, true},
    {"xsl:template", 4, true, false, true},
    {"xsl:element", 4, true, false, true},
    {"xsl:if", 4, true, false, true},
    {"title", 0, true, false, true},
    {"html", 0, true, true, true},
    {"head", 0, true, true, true},
    {"body", 0, true, true, true},
    {"font", 0, false, false, false},
    {"center", 2, true, true, true},
    {"select", 2, true, true, true},
    {"frameset", 2, true, true, true},
    {"div", 0, false, false, false},
    {"a", 0, false, false, false},
}};

enum class FaultKind {
  kUnexpected,  // a closing tag with nothing open
  kMismatch,    // a closing tag that does not match the innermost element
  kMissing,     // an element still open at the end of the text
};

// Where a tag or construct stands in its text, for the messages that point
// at it: the line of its first byte as the pass counts lines, that byte's
// column, and the line and column just past its last byte. Columns count
// bytes from 1; a line starts after each CR and LF.
struct TextSpan {
  std::uint64_t line = 0;
  std::uint64_t column = 0;
  std::uint64_t endLine = 0;
  std::uint64_t endColumn = 0;
  bool operator==(const TextSpan&) const = default;
};

// One nesting fault, in the terms a message needs. `line` is the line the
// fault is reported at: the closing tag's, or for kMissing the opening
// tag's. `closeRule` is -1 for kMissing; `openRule` and `openLine` describe
// the element that was open and are -1 and 0 for kUnexpected. `at` and
// `openAt` are the byte offsets of those tags' "<" (openAt 0 for
// kUnexpected).
struct NestingFault {
  FaultKind kind;
  int closeRule;
  int openRule;
  std::uint64_t line;
  std::uint64_t openLine;
  std::size_t at = 0;
  std::size_t openAt = 0;
  // Filled by placeFaults (decideAndExplain calls it), all 0 until then:
  // the spans of the tag at `at` and of the one at `openAt`.
  TextSpan span = {};
  TextSpan openSpan = {};
  // What the pass found; the spans follow from it and the text.
  bool operator==(const NestingFault& other) const {
    return kind == other.kind && closeRule == other.closeRule &&
           openRule == other.openRule && line == other.line &&
           openLine == other.openLine && at == other.at &&
           openAt == other.openAt;
  }
};

using NestingFaults = std::vector<NestingFault>;

// The room the pass reserves for its output once it differs from the input
// of `inputSize` bytes: enough for nearly every real file, and for pages of
// nested tables that tidy to twice their size, so that the text is seldom
// moved as it grows. A move holds the old text and the new at once, while
// room reserved and not written costs no memory.
std::size_t formatRoom(std::size_t inputSize);

// The largest formatted text the pass keeps for an input of `inputSize`
// bytes: ten times the input plus 64 MiB, far beyond any real page.
std::size_t formatLimit(std::size_t inputSize);

enum class Verdict {
  kSound,     // nesting is sound; the formatted text is complete
  kFailed,    // nesting faults were found; the text must not be saved
  kTooLarge,  // nesting is sound but the text outgrew formatLimit()
  kDiffers,   // the output came to differ from the input, which the caller
              // asked to stop at: the text is not tidy
};

struct Formatted {
  Verdict verdict;
  // The formatted text: a view of `work`, or of the input itself when
  // formatting changed nothing. Empty when the verdict is kTooLarge.
  std::string_view text;
  // False when a pass over `text` would give `text` again. True when the
  // pass met a case that can leave work for another: a break taken back
  // after a line that wrote nothing, whose break before it stays.
  bool mayChangeAgain = false;
};

// The comments that start and end a region the pass copies as it stands.
inline constexpr std::string_view kRegionOff = "<!-- tagfmt: off -->";
inline constexpr std::string_view kRegionOn = "<!-- tagfmt: on -->";

// Where the pass changed its text, and the regions it met: see
// format/format_text.h.
struct FormatTrace;

// Re-indents `text` (which ends at its first NUL byte, if any) by the tag
// rules, removes old pair markers, writes new ones in marker mode, and
// checks nesting, appending each fault to `faults`. `work` holds the result
// when it differs from the input. `openSeq` counts recognised opening tags
// across the whole run. Source line breaks come out as CR LF; bytes inside
// constructs, and regions between kRegionOff and kRegionOn comments, are
// copied as they stand. A source line break at indentation 0 or less
// writes nothing unless that would make text touch, and then a bare CR LF.
// When `trace` is given, the pass records in it where the output differs
// and the regions it met.
Formatted formatText(std::string_view text, std::string& work,
                     const RunOptions& options, std::int64_t& openSeq,
                     NestingFaults& faults, FormatTrace* trace = nullptr,
                     bool stopAtDifference = false);

}  // namespace tagfmt

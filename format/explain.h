// Why a text is refused or barely tidied: the tag rules that surprise
// authors, found by the same scanning rules as the pass. No I/O, no wording.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "format/format.h"

namespace tagfmt {

enum class NoteKind {
  kSelfClosed,      // a recognised opening tag written "<x ... />"
  kPrefixName,      // a tag name that found its rule by its beginning only
  kDeclaration,     // a "<!" declaration that runs on past its own first ">"
  kQuoteInComment,  // a quote in a comment that makes the comment run on
  kSpacesShow,      // content whose spaces show is re-indented
  kBreaksMatter,    // a line break inside a script or style is removed
  kRegionUnclosed,  // a region's "off" comment with no "on" after it
};

inline constexpr std::size_t kNoFault = static_cast<std::size_t>(-1);

// One explanation, in plain values for whoever words it.
struct Note {
  NoteKind kind = NoteKind::kSelfClosed;
  // The index in the fault list of the fault this note follows, or kNoFault
  // for a run-on that causes no fault but covers more than half the text.
  std::size_t fault = kNoFault;
  // The line the note points at: the tag's, the "<!"'s or the quote's.
  std::uint64_t line = 0;
  // The byte offsets of what the note points at and of the end of its tag
  // or construct (one past its last byte), and their span, filled by
  // placeFaults.
  std::size_t at = 0;
  std::size_t endAt = 0;
  TextSpan span = {};
  // Run-ons: the line where the construct ends, and whether it found no
  // end and runs on to the end of the text.
  std::uint64_t endLine = 0;
  bool toEnd = false;
  // kSelfClosed and kPrefixName: the rule the tag counts as, the tag's name
  // as written ("thead", "xsl:template"), and whether it is a closing tag.
  int ruleIndex = -1;
  std::string name;
  bool closing = false;
  // kQuoteInComment: the quote byte, ' or ".
  char quote = '\0';
  // kSpacesShow: true when the spaces show in a stylesheet's output (an
  // xsl:text, or xml:space="preserve"), false when on the page.
  bool inOutput = false;
};

using Notes = std::vector<Note>;

// Explains `faults`, the nesting faults formatText found in `text`: for each
// fault, in order, a note for every cause above that it involves and that no
// earlier fault took. Run-ons that explain no fault but span more than half
// the text come last, with kNoFault. Returns no notes for faults that do
// not match the text's own.
Notes explainText(std::string_view text, const NestingFaults& faults);

// Explains what the pass did to `text`, from its `trace`: a kSpacesShow
// note on the opening tag's line of each pre, textarea, xsl:text or
// xml:space="preserve" element whose content it changed (line ends aside),
// a kBreaksMatter note for each script or style in which it removed a line
// break, and a kRegionUnclosed note for a region that runs to the end.
// `trace` must come from a pass that watched watchedContent(text).
Notes explainLayout(std::string_view text, const FormatTrace& trace);

// The content ranges of those elements in `text`, for FormatTrace.watched.
std::vector<std::pair<std::size_t, std::size_t>> watchedContent(
    std::string_view text);

// The length of the tag name that starts `text`: letters, digits and
// ":-_." bytes.
std::size_t tagNameLength(std::string_view text);

}  // namespace tagfmt

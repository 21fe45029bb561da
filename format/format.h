// The formatting engine: tag rules, the construct scanner, the element stack
// and the reformatting pass. It does no file I/O; it reports through the
// FileReport it is handed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "driver/run_types.h"

namespace tagfmt {

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

// Returns the index of the first rule whose name is a case-insensitive prefix
// of `name` (the text right after "<" or "</"), or -1 when none is.
int findTagRule(std::string_view name);

// The pass's output: a growing buffer with an upper bound. Past the bound it
// stops storing bytes but keeps counting positions, so the pass can run on
// to the end and still check nesting.
class WorkText {
 public:
  WorkText(std::string& buffer, std::size_t limit);
  void append(const char* bytes, std::size_t count);
  void appendSpaces(std::size_t count);
  void push(char byte) { append(&byte, 1); }
  std::size_t size() const { return used_; }
  // Takes back everything from `position` on.
  void truncate(std::size_t position) { used_ = position; }
  bool overflowed() const { return overflowed_; }
  // Trims the buffer to what was written, or empties it after an overflow.
  void finish();

 private:
  // Room for `count` more bytes, or nullptr once past the bound.
  char* reserve(std::size_t count);

  std::string& buffer_;
  std::size_t used_ = 0;
  std::size_t limit_;
  bool overflowed_ = false;
};

// The input side of the pass: the text, where the pass stands in it and the
// file's line counter (lines count from 1).
struct ScanInput {
  std::string_view text;
  std::size_t pos = 0;
  std::uint64_t line = 1;
};

inline constexpr char kNoTerminator = '\0';

// Copies (or, with `copy` false, skips) the construct starting at the "<" at
// `in.pos` through its closing ">": the first ">" outside quotes, and with a
// terminator only one directly preceded by that byte. Counts each LF inside.
// In marker mode a positive `markerNumber` appends "<!--@N@-->" after the
// construct. A construct with no closing ">" runs to the end of the text.
void scanConstruct(ScanInput& in, WorkText& out, bool markerMode,
                   char terminator, bool copy, std::int64_t markerNumber);

// True when `text` begins with a pair marker as the tool writes it:
// "<!--@", decimal digits, "@-->". Other comments that begin "<!--@" (such
// as "<!--@@ doc -->") are the author's and are kept.
bool startsWithPairMarker(std::string_view text);

// One open recognised element.
struct OpenElement {
  int ruleIndex;
  std::int64_t seq;
  std::uint64_t line;
};

// The stack of open recognised elements of one file; it reports every
// nesting fault through the file's report.
class ElementStack {
 public:
  void open(int ruleIndex, std::int64_t seq, std::uint64_t line);
  // Matches a closing tag against the top entry and removes that entry even
  // when it does not match. Returns the removed entry's seq, or 0 when the
  // stack was empty.
  std::int64_t close(int ruleIndex, std::uint64_t line, FileReport& report);
  // Reports every element still open, innermost first. Returns true when
  // the file nested soundly.
  bool finish(FileReport& report);
  std::size_t depth() const { return entries_.size(); }

 private:
  std::vector<OpenElement> entries_;
  bool failed_ = false;
};

// The largest formatted text the pass keeps for an input of `inputSize`
// bytes: ten times the input plus 64 MiB, far beyond any real page.
std::size_t formatLimit(std::size_t inputSize);

enum class Verdict {
  kSound,     // nesting is sound; `work` holds the formatted text
  kFailed,    // nesting faults were reported; the file must not be written
  kTooLarge,  // nesting is sound but the text outgrew formatLimit()
};

// Re-indents `text` (which ends at its first NUL byte, if any) into `work`
// by the tag rules, removes old pair markers, writes new ones in marker
// mode, and checks nesting. `openSeq` counts recognised opening tags across
// the whole run. Source line breaks come out as CR LF; bytes inside
// constructs are copied as they stand.
Verdict formatText(std::string_view text, std::string& work,
                   const RunOptions& options, std::int64_t& openSeq,
                   FileReport& report);

}  // namespace tagfmt

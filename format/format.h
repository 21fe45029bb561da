// The formatting engine: tag rules, the construct scanner, the element stack
// and the reformatting pass. It does no file I/O and words no message: it
// hands its nesting faults to the caller, which says them its own way.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
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

// Returns the index of the first rule whose name is a case-insensitive prefix
// of `name` (the text right after "<" or "</"), or -1 when none is.
int findTagRule(std::string_view name);

// Copies `count` bytes without a call for the short pieces the pass
// writes: two overlapping loads cover any length from 4 to 16.
inline void copyPiece(char* to, const char* from, std::size_t count) {
  if (count >= 8 && count <= 16) {
    std::uint64_t head, tail;
    std::memcpy(&head, from, 8);
    std::memcpy(&tail, from + count - 8, 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + count - 8, &tail, 8);
  } else if (count >= 4 && count < 8) {
    std::uint32_t head, tail;
    std::memcpy(&head, from, 4);
    std::memcpy(&tail, from + count - 4, 4);
    std::memcpy(to, &head, 4);
    std::memcpy(to + count - 4, &tail, 4);
  } else {
    std::memcpy(to, from, count);
  }
}

// The pass's output: a growing buffer with an upper bound. While the output
// is a copy of the start of `original`, nothing is stored: most files are
// tidy already, and then the pass only reads. The last piece written may
// differ and still be taken back (a break redone at a smaller indentation)
// without leaving that mode. Past the bound it stops storing bytes but keeps
// counting positions, so the pass can run on to the end and still check
// nesting.
class WorkText {
 public:
  WorkText(std::string& buffer, std::size_t limit, std::string_view original);
  void append(const char* bytes, std::size_t count) {
    // The common case in a file that changes: the piece fits the stage.
    // While sharing there is no spare room, and only an empty piece (which
    // changes nothing either way) comes in here.
    if (count <= spare_) {
      copyPiece(stage_ + staged_, bytes, count);
      staged_ += count;
      used_ += count;
      spare_ -= count;
      return;
    }
    // The common case in a tidy file: the bytes are the original's own, at
    // the very place they would be written.
    if (sharing_ && tail_.empty() && bytes == original_.data() + shared_ &&
        count <= original_.size() - shared_) {
      shared_ += count;
      used_ += count;
      return;
    }
    appendOther(bytes, count);
  }
  void appendSpaces(std::size_t count);
  // Appends a CR LF and `spaces` spaces.
  void appendBreak(std::size_t spaces);
  // Takes original[from, from + count) as written when the output so far is
  // original[0, from); returns false, writing nothing, otherwise.
  bool skipShared(std::size_t from, std::size_t count) {
    if (!sharing_ || !tail_.empty() || shared_ != from ||
        count > original_.size() - from) {
      return false;
    }
    shared_ += count;
    used_ += count;
    return true;
  }
  std::size_t size() const { return used_; }
  // The last byte of the output; '\0' when there is none, or when the
  // output is past the bound and no longer stored.
  char lastByte() const;
  // Takes back everything from `position` on.
  void truncate(std::size_t position) {
    // The common case in a file that changes: a break taken back to be
    // redone, still on the stage.
    if (!sharing_ && !overflowed_ && used_ - position <= staged_) {
      spare_ += used_ - position;
      staged_ -= used_ - position;
      used_ = position;
      return;
    }
    truncateOther(position);
  }
  bool overflowed() const { return overflowed_; }
  // From now on, the first byte that differs from the original ends the
  // output: nothing is stored, and stopped() tells the pass to end.
  void stopAtDifference() { stopAtDifference_ = true; }
  bool stopped() const { return stopped_; }
  // Ends the output and returns it: a view of `original` when the two are
  // equal, else of the buffer (empty after an overflow).
  std::string_view finish();

 private:
  void appendOther(const char* bytes, std::size_t count);
  void truncateOther(std::size_t position);
  // Leaves the copying-free mode: stores the output so far.
  void diverge();
  // Counts `count` more bytes and makes room for them in the buffer; false,
  // storing nothing more, once past the bound.
  bool makeRoom(std::size_t count);
  // Reserves room in the buffer for `needed` bytes in all.
  void grow(std::size_t needed);
  // Moves the staged bytes into the buffer.
  void flush();
  // Recomputes spare_ after the stage or the bound changed.
  void resetSpare();

  std::string& buffer_;
  std::string_view original_;
  std::size_t used_ = 0;
  std::size_t limit_;
  // While sharing, the output is original_[0, shared_) followed by tail_.
  bool sharing_ = true;
  std::size_t shared_ = 0;
  std::string tail_;
  bool overflowed_ = false;
  bool stopAtDifference_ = false;
  bool stopped_ = false;
  // Once the output differs, small pieces gather here and go into the
  // buffer a block at a time: std::string's append costs more than the
  // copy of a piece a few bytes long. The buffer holds the output up to
  // used_ - staged_, the stage the rest.
  static constexpr std::size_t kStage = 4096;
  char stage_[kStage];
  std::size_t staged_ = 0;
  // Bytes that can be staged without passing the bound; 0 while sharing or
  // past the bound.
  std::size_t spare_ = 0;
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
// Returns true when the closing ">" was found.
bool scanConstruct(ScanInput& in, WorkText& out, bool markerMode,
                   char terminator, bool copy, std::int64_t markerNumber);

// True when `text` begins with a pair marker as the tool writes it:
// "<!--@", decimal digits, "@-->". Other comments that begin "<!--@" (such
// as "<!--@@ doc -->") are the author's and are kept.
bool startsWithPairMarker(std::string_view text);

// One open recognised element; `at` is the byte offset of its "<".
struct OpenElement {
  int ruleIndex;
  std::int64_t seq;
  std::uint64_t line;
  std::size_t at;
};

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

// What the pass did where, for the notes that explain a change. Positions
// are in the input text.
enum class ChangeKind {
  kLayout,        // a line's indentation, a break or a marker differs
  kBreakRemoved,  // a source line break was joined to the next line
};

struct LayoutChange {
  std::size_t at;  // the line break's or the tag's first byte
  ChangeKind kind;
};

// A region the pass copied as it stands: from the byte after the "off"
// comment to the "on" comment's "<", or to the end of the text.
struct Region {
  std::size_t offAt;  // the "off" comment's "<"
  std::uint64_t offLine;
  std::size_t end;
  bool closed;  // an "on" comment ends it
};

struct FormatTrace {
  // The input ranges [first, second) whose changes are recorded, sorted
  // and apart: only where a change needs a note, so that a page made of
  // tags does not cost a record per tag.
  std::vector<std::pair<std::size_t, std::size_t>> watched;
  std::vector<LayoutChange> changes;  // in input order
  std::vector<Region> regions;
};

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

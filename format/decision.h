// What tagfmt makes of a file's text, apart from any file: the one decision
// that tagfmt's file job and every other front end share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "format/explain.h"
#include "format/format.h"

namespace tagfmt {

enum class TextOutcome {
  kTidy,      // tagfmt leaves the file as it is
  kChanged,   // tagfmt rewrites the file with the tidied text
  kHasNul,    // tagfmt refuses a text with a NUL byte
  kFaults,    // the recognised tags do not nest; nothing is written
  kTooLarge,  // the formatted text outgrew formatLimit()
  // The tidied text failed the check every text gets before it is written
  // or shown: a fault of tagfmt's own, so nothing is written.
  kInternalError,
};

// What tagfmt would do with one text.
struct TextDecision {
  TextOutcome outcome = TextOutcome::kTidy;
  // kChanged: the new text, with CR LF line ends.
  std::string tidied;
  // kFaults: the nesting faults, in the order they were found.
  NestingFaults faults;
  // Filled by decideAndExplain only: for kFaults, what explains them; for
  // kChanged, the run-ons that cover much of the text and what the pass
  // changed where it shows.
  Notes notes;
  // How far the text moves the run's openSeq: its recognised opening tags.
  std::int64_t openCount = 0;
  // The passes the text took to settle: 1 for most, 0 in line-ends-only
  // mode or for a text refused before any pass.
  int passes = 0;
};

// The most passes a text is given to settle; one that has not settled by
// then gets its first pass's text.
inline constexpr int kMaxPasses = 16;

// True when `tidied` says what `original` says: both are the same bytes
// once blanks (space, tab, VT, FF), CR, LF and pair markers "<!--@N@-->"
// are set aside, which is all the pass may add, drop or move.
bool keepsContent(std::string_view original, std::string_view tidied);

// Works out what tagfmt would do with the text `original` under `options`,
// with the run's openSeq at `openSeq` before it. `room` is a buffer the
// caller may have reserved for the tidied text; it becomes `tidied`.
// The tidied text is settled: deciding on it again gives kTidy. Where one
// pass can leave work for another, the pass is applied to its own result,
// each time from the same openSeq, until nothing changes; faults are those
// of the first pass, and an extra pass that finds a fault, or a text still
// changing after kMaxPasses, leaves the first pass's text.
// Before a text is offered as kChanged it must keep the original's content
// (keepsContent) and be settled and sound: one more pass changes nothing and
// finds no fault. A text that fails either is kInternalError instead, with
// no tidied text, so that no front end can write or show it.
TextDecision decideText(std::string_view original, const RunOptions& options,
                        std::int64_t openSeq, std::string room = {});

// decideText, with the notes that explain the outcome, and the spans of
// the faults and notes: what the checker, the language server and the
// playground show beside it.
TextDecision decideAndExplain(std::string_view original,
                              const RunOptions& options, std::int64_t openSeq);

}  // namespace tagfmt

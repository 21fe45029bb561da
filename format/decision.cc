// The decision on a text: format or take it as it is, compare, normalise.
#include "format/decision.h"

#include <algorithm>
#include <cstring>

#include "format/byte_scan.h"
#include "format/format_text.h"
#include "format/line_ends.h"
#include "format/places.h"
#include "format/scanner.h"
#include "format/seam.h"

namespace tagfmt {

namespace {

// Applies the pass again to `text`, the first pass's output, while a pass
// says it may leave work for another. Returns the settled text: `text`
// itself, or a view of one of `spare`, which the later passes take turns
// to fill; `passes` counts every pass run. `confirmed` is set when the
// last pass gave its input back, which shows the result settled and sound.
std::string_view settle(std::string_view text, std::string (&spare)[2],
                        const RunOptions& options, std::int64_t openSeq,
                        int& passes, bool& confirmed) {
  std::string_view current = text;
  while (passes < kMaxPasses) {
    ++passes;
    // The next output may not go into the buffer that holds its input.
    std::string& into = current.data() == spare[0].data() ? spare[1] : spare[0];
    std::int64_t seq = openSeq;
    NestingFaults faults;
    const Formatted again = formatText(current, into, options, seq, faults);
    if (again.verdict != Verdict::kSound) return text;
    if (again.text == current) {
      confirmed = true;
      return current;
    }
    current = again.text;
    if (!again.mayChangeAgain) return current;
  }
  return text;
}

bool isSetAside(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' ||
         c == '\n';
}

// The length of the pair marker at `at`, or 0 when there is none.
std::size_t markerAt(std::string_view text, std::size_t at) {
  if (text[at] != '<' || !startsWithPairMarker(text.substr(at))) return 0;
  return text.find('>', at) + 1 - at;
}

// The length of the longest common prefix of `a` and `b`.
std::size_t samePrefix(std::string_view a, std::string_view b) {
  const std::size_t size = std::min(a.size(), b.size());
  std::size_t at = 0;
  // Eight bytes a look while they agree.
  for (std::uint64_t x, y; at + 8 <= size; at += 8) {
    std::memcpy(&x, a.data() + at, 8);
    std::memcpy(&y, b.data() + at, 8);
    if (x != y) break;
  }
  while (at < size && a[at] == b[at]) ++at;
  return at;
}

// The length of the end of `common` that may begin a pair marker running
// past it, whatever bytes follow: "<!--@12@-" may, "<!--@12@-->" and "<p"
// may not. 0 when none may.
std::size_t openMarkerTail(std::string_view common) {
  constexpr std::string_view kHead = "<!--@";
  constexpr std::string_view kTail = "@-->";
  // Asked at every difference: most end in a byte no marker's start has.
  const char last = common.empty() ? '\0' : common.back();
  if (last != '<' && last != '!' && last != '-' && last != '@' &&
      (last < '0' || last > '9')) {
    return 0;
  }
  for (std::size_t n = kHead.size() - 1; n > 0; --n) {
    if (common.ends_with(kHead.substr(0, n))) return n;
  }
  // The head, its digits, and at most three bytes of the tail: a "@" may
  // be either the head's last byte or the tail's first.
  for (std::size_t n = 0; n < kTail.size(); ++n) {
    if (!common.ends_with(kTail.substr(0, n))) continue;
    std::size_t end = common.size() - n;
    while (end > 0 && common[end - 1] >= '0' && common[end - 1] <= '9') --end;
    if (common.substr(0, end).ends_with(kHead)) {
      return common.size() - (end - kHead.size());
    }
  }
  return 0;
}

// Steps `at` over blanks, line ends and pair markers.
void skipSetAside(std::string_view text, std::size_t& at) {
  while (at < text.size()) {
    if (isSetAside(text[at])) {
      ++at;
    } else if (const std::size_t marker = markerAt(text, at); marker > 0) {
      at += marker;
    } else {
      return;
    }
  }
}

// True when one more pass over `tidied` gives it back, with no fault.
bool settledAndSound(const std::string& tidied, const RunOptions& options,
                     std::int64_t openSeq) {
  std::string work;
  NestingFaults faults;
  const Formatted again = formatText(tidied, work, options, openSeq, faults);
  return again.verdict == Verdict::kSound &&
         normalisedEquals(again.text, tidied);
}

// The first pass over `original` and, where it may leave work, the passes
// that settle its text: what `decision` holds then, and the text it comes
// to (a view of `original`, of decision.tidied or of a spare). False for a
// text refused, its outcome set.
bool formatAndSettle(std::string_view original, const RunOptions& options,
                     std::int64_t openSeq, FormatTrace* trace,
                     TextDecision& decision, std::string (&spare)[2],
                     std::string_view& text, bool& confirmed) {
  std::int64_t seq = openSeq;
  const Formatted formatted = formatText(original, decision.tidied, options,
                                         seq, decision.faults, trace);
  decision.openCount = seq - openSeq;
  decision.passes = 1;
  if (formatted.verdict != Verdict::kSound) {
    decision.outcome = formatted.verdict == Verdict::kFailed
                           ? TextOutcome::kFaults
                           : TextOutcome::kTooLarge;
    return false;
  }
  text = formatted.text;
  // Output equal to its input is settled already.
  if (formatted.mayChangeAgain && text.data() != original.data()) {
    text = settle(text, spare, options, openSeq, decision.passes, confirmed);
  }
  return true;
}

// Makes decision.tidied the text `text` with CR LF line ends: the pass's
// own text where it stands, without a copy.
void takeWithCrLf(std::string_view text, std::string (&spare)[2],
                  std::string& tidied) {
  if (text.data() == tidied.data()) {
    normaliseLineEndsInPlace(tidied);
  } else if (text.data() == spare[0].data() || text.data() == spare[1].data()) {
    std::string& settled = text.data() == spare[0].data() ? spare[0] : spare[1];
    normaliseLineEndsInPlace(settled);
    tidied.swap(settled);
  } else {
    tidied = normaliseLineEnds(text);
  }
}

// What a text that was not refused comes to: tidy when `text` says what
// `original` says with CR LF line ends, else changed, with decision.tidied
// the text, once it passes the check every tidied text gets.
TextOutcome settledOutcome(std::string_view original, std::string_view text,
                           const TextShape& shape, const RunOptions& options,
                           std::int64_t openSeq, bool confirmed,
                           std::string (&spare)[2], std::string& tidied) {
  if (text.data() == original.data()
          ? text.size() == original.size() && shape.allCrLf
          : normalisedEquals(text, original)) {
    return TextOutcome::kTidy;
  }
  takeWithCrLf(text, spare, tidied);
  breakTidiedForTest(tidied);
  // The last word before any front end writes or shows the text: a fault in
  // the pass must cost the user a refusal, never a byte of the page.
  return keepsContent(original, tidied) &&
                 (options.lineEndsOnly || confirmed ||
                  settledAndSound(tidied, options, openSeq))
             ? TextOutcome::kChanged
             : TextOutcome::kInternalError;
}

TextDecision decide(std::string_view original, const RunOptions& options,
                    std::int64_t openSeq, std::string room,
                    FormatTrace* trace) {
  TextDecision decision;
  decision.tidied = std::move(room);
  const TextShape shape = examineText(original.data(), original.size());
  std::string_view text = original;
  std::string spare[2];
  bool confirmed = false;
  // The engine sees text only up to a NUL, so the rest would be lost.
  if (shape.hasNul) {
    decision.outcome = TextOutcome::kHasNul;
  } else if (options.lineEndsOnly ||
             formatAndSettle(original, options, openSeq, trace, decision, spare,
                             text, confirmed)) {
    decision.outcome = settledOutcome(original, text, shape, options, openSeq,
                                      confirmed, spare, decision.tidied);
  }
  if (decision.outcome != TextOutcome::kChanged) {
    std::string().swap(decision.tidied);
  }
  return decision;
}

}  // namespace

bool keepsContent(std::string_view original, std::string_view tidied) {
  std::size_t from = 0;
  std::size_t to = 0;
  while (true) {
    // Where the two are byte for byte alike they say the same, up to a
    // marker that may run past the first difference: step back to it.
    const std::size_t alike =
        samePrefix(original.substr(from), tidied.substr(to));
    const std::size_t step =
        alike - openMarkerTail(original.substr(from, alike));
    from += step;
    to += step;
    const std::size_t fromDiffers = from - step + alike;
    const std::size_t toDiffers = to - step + alike;
    // Then a byte of content at a time until both are past the difference.
    do {
      skipSetAside(original, from);
      skipSetAside(tidied, to);
      if (from == original.size() || to == tidied.size()) {
        return from == original.size() && to == tidied.size();
      }
      if (original[from] != tidied[to]) return false;
      ++from;
      ++to;
    } while (from <= fromDiffers || to <= toDiffers);
  }
}

TextDecision decideText(std::string_view original, const RunOptions& options,
                        std::int64_t openSeq, std::string room) {
  return decide(original, options, openSeq, std::move(room), nullptr);
}

namespace {

// True when `original` is tidy, found by one pass that stops at the first
// byte it would change: most texts a checker or an editor asks about are,
// and they need no record of what the pass did. `decision` then says so.
bool tidyAtFirstLook(std::string_view original, const RunOptions& options,
                     std::int64_t openSeq, TextDecision& decision) {
  if (options.lineEndsOnly) return false;
  const TextShape shape = examineText(original.data(), original.size());
  if (shape.hasNul || !shape.allCrLf) return false;
  std::string work;
  std::int64_t seq = openSeq;
  const Formatted look =
      formatText(original, work, options, seq, decision.faults, nullptr, true);
  if (look.verdict != Verdict::kSound || look.text.data() != original.data()) {
    decision.faults.clear();
    return false;
  }
  decision.openCount = seq - openSeq;
  decision.passes = 1;
  return true;
}

}  // namespace

TextDecision decideAndExplain(std::string_view original,
                              const RunOptions& options, std::int64_t openSeq) {
  if (TextDecision tidy; tidyAtFirstLook(original, options, openSeq, tidy)) {
    return tidy;
  }
  FormatTrace trace;
  trace.watched = watchedContent(original);
  TextDecision decision = decide(original, options, openSeq, {}, &trace);
  if (decision.outcome == TextOutcome::kFaults) {
    decision.notes = explainText(original, decision.faults);
  } else if (decision.outcome == TextOutcome::kChanged &&
             !options.lineEndsOnly) {
    decision.notes = explainText(original, {});
    Notes layout = explainLayout(original, trace);
    decision.notes.insert(decision.notes.end(),
                          std::make_move_iterator(layout.begin()),
                          std::make_move_iterator(layout.end()));
  }
  placeFaults(original, decision.faults, decision.notes);
  return decision;
}

}  // namespace tagfmt

// The decision on a text: format or take it as it is, compare, normalise.
#include "format/decision.h"

#include "format/byte_scan.h"
#include "format/line_ends.h"

namespace tagfmt {

TextDecision decideText(std::string_view original, const RunOptions& options,
                        std::int64_t openSeq, std::string room) {
  TextDecision decision;
  decision.tidied = std::move(room);
  std::string& tidied = decision.tidied;
  const TextShape shape = examineText(original.data(), original.size());
  // The engine sees text only up to a NUL, so the rest would be lost.
  if (shape.hasNul) {
    decision.outcome = TextOutcome::kHasNul;
    std::string().swap(tidied);
    return decision;
  }
  std::string_view text = original;
  if (!options.lineEndsOnly) {
    std::int64_t seq = openSeq;
    const Formatted formatted =
        formatText(original, tidied, options, seq, decision.faults);
    decision.openCount = seq - openSeq;
    if (formatted.verdict != Verdict::kSound) {
      decision.outcome = formatted.verdict == Verdict::kFailed
                             ? TextOutcome::kFaults
                             : TextOutcome::kTooLarge;
      std::string().swap(tidied);
      return decision;
    }
    text = formatted.text;
  }
  const bool unchanged = text.data() == original.data()
                             ? text.size() == original.size() && shape.allCrLf
                             : normalisedEquals(text, original);
  if (unchanged) {
    std::string().swap(tidied);
    return decision;
  }
  // The pass's own text is made CR LF where it stands, without a copy.
  if (text.data() == tidied.data()) {
    normaliseLineEndsInPlace(tidied);
  } else {
    tidied = normaliseLineEnds(text);
  }
  decision.outcome = TextOutcome::kChanged;
  return decision;
}

}  // namespace tagfmt

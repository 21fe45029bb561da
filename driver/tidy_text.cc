// The decision on a text: format or take it as it is, compare, normalise.
#include "driver/tidy_text.h"

#include "driver/line_ends.h"
#include "format/byte_scan.h"

namespace tagfmt {

TextOutcome tidyText(std::string_view original, const RunOptions& options,
                     std::int64_t& openSeq, std::string& tidied,
                     NestingFaults& faults) {
  const TextShape shape = examineText(original.data(), original.size());
  // The engine sees text only up to a NUL, so the rest would be lost.
  if (shape.hasNul) return TextOutcome::kHasNul;
  std::string_view text = original;
  if (!options.lineEndsOnly) {
    const Formatted formatted =
        formatText(original, tidied, options, openSeq, faults);
    if (formatted.verdict == Verdict::kFailed) return TextOutcome::kFaults;
    if (formatted.verdict == Verdict::kTooLarge) return TextOutcome::kTooLarge;
    text = formatted.text;
  }
  const bool unchanged = text.data() == original.data()
                             ? text.size() == original.size() && shape.allCrLf
                             : normalisedEquals(text, original);
  if (unchanged) {
    std::string().swap(tidied);
    return TextOutcome::kTidy;
  }
  // The pass's own text is made CR LF where it stands, without a copy.
  if (text.data() == tidied.data()) {
    normaliseLineEndsInPlace(tidied);
  } else {
    tidied = normaliseLineEnds(text);
  }
  return TextOutcome::kChanged;
}

}  // namespace tagfmt

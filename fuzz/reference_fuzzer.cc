// libFuzzer target: the engine's decision must equal the plain reference's
// (outcome, tidied text, faults and how far openSeq moved) in both modes,
// from marker numbers of one to four digits. Half the inputs are read as
// choices for a generated nested page, the rest as the text itself; half
// are decided with their notes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "format/decision.h"
#include "format/format.h"
#include "fuzz/require.h"
#include "tests/page_generator.h"
#include "tests/reference_pass.h"

namespace {

using tagfmt::RunOptions;
using tagfmt::TextDecision;
using tagfmt::TextOutcome;

using tagfmt::fuzz::require;

// The numbers a run may stand at before the text: 0, 9, 99, 999 and 9999
// make the first markers one to five digits long.
constexpr std::int64_t kFirstSeqs[] = {0, 9, 99, 999, 9999, 5, 42, 512};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) return 0;
  RunOptions options;
  options.markerMode = (data[0] & 1) != 0;
  options.lineEndsOnly = (data[0] & 0x3e) == 0x3e;
  const std::int64_t firstSeq = kFirstSeqs[(data[0] >> 1) & 7];
  std::string text;
  if ((data[0] & 0x80) != 0) {
    tagfmt::testing::Choices choices(data + 1, size - 1);
    text = tagfmt::testing::generatePage(choices);
  } else {
    text.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
  }
  // The road with notes traces the pass as it goes; it must decide alike.
  const TextDecision got =
      (data[0] & 0x40) != 0 ? tagfmt::decideAndExplain(text, options, firstSeq)
                            : tagfmt::decideText(text, options, firstSeq);
  const tagfmt::reference::Result want =
      tagfmt::reference::decide(text, options, firstSeq);
  require(got.outcome == want.outcome, "the outcome is the reference's");
  require(got.tidied == want.tidied, "the tidied text is the reference's");
  require(got.faults == want.faults, "the faults are the reference's");
  require(got.openCount == want.openCount,
          "openSeq moves as far as in the reference");
  require(got.outcome != TextOutcome::kInternalError,
          "the check before use never fires");
  // On the road with notes each fault is placed at its tag's "<", and its
  // column counts from the last line break before it.
  for (const tagfmt::NestingFault& fault : got.faults) {
    if ((data[0] & 0x40) == 0) break;
    require(fault.at < text.size() && text[fault.at] == '<',
            "a fault's offset is its tag's \"<\"");
    const std::size_t lineStart = text.find_last_of("\r\n", fault.at);
    const std::size_t column =
        fault.at - (lineStart == std::string::npos ? 0 : lineStart + 1) + 1;
    require(fault.span.line == fault.line && fault.span.column == column &&
                fault.span.endLine >= fault.line,
            "a fault's span starts at its line and column");
  }
  // The check itself against a plain reading of what content is, on the
  // tidied text and on the same with one byte lost or doubled.
  if (got.outcome == TextOutcome::kChanged) {
    require(tagfmt::keepsContent(text, got.tidied), "the content is kept");
    std::string broken = got.tidied + "x";
    const std::size_t at = (size * 7919u + data[size - 1]) % broken.size();
    if ((data[size - 1] & 1) != 0) {
      broken.erase(at, 1);
    } else {
      broken.insert(at, 1, broken[at]);
    }
    require(tagfmt::keepsContent(text, broken) ==
                (tagfmt::reference::content(text) ==
                 tagfmt::reference::content(broken)),
            "keepsContent is the plain reading");
  }
  return 0;
}

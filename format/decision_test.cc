// The decision on a text, outcome by outcome.
#include "format/decision.h"

#include <gtest/gtest.h>

#include <string>

namespace tagfmt {
namespace {

struct DecisionCase {
  const char* name;
  std::string_view input;
  bool lineEndsOnly;
  TextOutcome outcome;
  std::string_view tidied;  // kChanged only
  std::int64_t openCount;
};

TEST(Decision, OutcomesAndTexts) {
  using namespace std::string_view_literals;
  const DecisionCase cases[] = {
      {"tidy", "<table>\r\n  <tr>\r\n  </tr></table>", false,
       TextOutcome::kTidy, "", 2},
      {"changed", "<table>\n<tr>\n</tr>\n</table>", false,
       TextOutcome::kChanged, "<table>\r\n  <tr>\r\n  </tr></table>", 2},
      {"line ends only", "a\nb", true, TextOutcome::kChanged, "a\r\nb", 0},
      {"line ends only, tidy", "a\r\nb", true, TextOutcome::kTidy, "", 0},
      {"faults", "<td>\n</tr>", false, TextOutcome::kFaults, "", 1},
      {"NUL", "<td>\0</td>"sv, false, TextOutcome::kHasNul, "", 0},
      // Tidy in all but a line end, a marker or the last line.
      {"tidy but for an LF", "<table>\r\n  <tr>\n  </tr></table>", false,
       TextOutcome::kChanged, "<table>\r\n  <tr>\r\n  </tr></table>", 2},
      {"tidy but for the end", "<table>\r\n  <tr>\r\n  </tr>\r\n</table>",
       false, TextOutcome::kChanged, "<table>\r\n  <tr>\r\n  </tr></table>", 2},
      {"tidy with faults", "<td>\r\n</tr>", false, TextOutcome::kFaults, "", 1},
  };
  for (const DecisionCase& c : cases) {
    RunOptions options;
    options.lineEndsOnly = c.lineEndsOnly;
    // decideAndExplain first looks for a tidy text with a pass that stops
    // at the first difference: both must come to the same.
    for (const bool explain : {false, true}) {
      const TextDecision got = explain ? decideAndExplain(c.input, options, 7)
                                       : decideText(c.input, options, 7);
      const std::string at =
          std::string(c.name) + (explain ? ", explained" : "");
      EXPECT_EQ(got.outcome, c.outcome) << at;
      EXPECT_EQ(got.tidied, c.tidied) << at;
      EXPECT_EQ(got.openCount, c.openCount) << at;
      EXPECT_EQ(got.faults.empty(), c.outcome != TextOutcome::kFaults) << at;
    }
  }
}

}  // namespace
}  // namespace tagfmt

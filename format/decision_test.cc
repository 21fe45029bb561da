// The decision on a text, outcome by outcome.
#include "format/decision.h"

#include <gtest/gtest.h>

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
  };
  for (const DecisionCase& c : cases) {
    RunOptions options;
    options.lineEndsOnly = c.lineEndsOnly;
    const TextDecision got = decideText(c.input, options, 7);
    EXPECT_EQ(got.outcome, c.outcome) << c.name;
    EXPECT_EQ(got.tidied, c.tidied) << c.name;
    EXPECT_EQ(got.openCount, c.openCount) << c.name;
    EXPECT_EQ(got.faults.empty(), c.outcome != TextOutcome::kFaults) << c.name;
  }
}

}  // namespace
}  // namespace tagfmt

// The nesting check: every fault message, word for word, and the verdict.
#include <gtest/gtest.h>

#include "format/format.h"

namespace tagfmt {
namespace {

constexpr int kTable = 0, kTr = 1, kTd = 3, kForm = 4;

TEST(ElementStack, ReportsMismatchesAgainstTheTopEntry) {
  std::string said;
  FileReport report("t.htm");
  report.capture = &said;
  ElementStack stack;
  stack.open(kTable, 1, 1);
  stack.open(kTr, 2, 2);
  stack.open(kTd, 3, 3);
  EXPECT_EQ(stack.close(kTr, 3, report), 3);
  EXPECT_EQ(stack.close(kTable, 4, report), 2);
  EXPECT_EQ(stack.close(kForm, 5, report), 1);
  EXPECT_EQ(stack.close(kTd, 6, report), 0);
  EXPECT_FALSE(stack.finish(report));
  EXPECT_EQ(
      said,
      "t.htm\n"
      "-> Nesting Error Line 3: </tr> instead of </td> ( <td> on line 3)\n"
      "-> Nesting Error Line 4: </table> instead of </tr> ( <tr> on line 2)\n"
      "-> Nesting Error Line 5: </form> instead of </table> ( <table> on line "
      "1)\n"
      "-> Nesting Error Line 6: unexpected </td>\n");
}

TEST(ElementStack, ReportsWhatIsLeftOpenInnermostFirst) {
  std::string said;
  FileReport report("t.htm");
  report.capture = &said;
  ElementStack stack;
  stack.open(kTable, 1, 5);
  stack.open(kTr, 2, 5);
  EXPECT_FALSE(stack.finish(report));
  EXPECT_EQ(said,
            "t.htm\n"
            "-> Nesting Error: missing </tr> ( <tr> on line 5)\n"
            "-> Nesting Error: missing </table> ( <table> on line 5)\n");
}

TEST(ElementStack, SoundNestingSaysNothing) {
  std::string said;
  FileReport report("t.htm");
  report.capture = &said;
  ElementStack stack;
  stack.open(kTable, 7, 1);
  stack.open(kTd, 8, 1);
  EXPECT_EQ(stack.close(kTd, 1, report), 8);
  EXPECT_EQ(stack.close(kTable, 2, report), 7);
  EXPECT_TRUE(stack.finish(report));
  EXPECT_EQ(said, "");
}

}  // namespace
}  // namespace tagfmt

// tagfmt's wording of nesting faults, and the name line before the first.
#include "driver/run_types.h"

#include <gtest/gtest.h>

namespace tagfmt {
namespace {

constexpr int kTable = 0, kTr = 1, kTd = 3, kForm = 4;

TEST(RunTypes, NestingMessagesWordForWord) {
  const NestingFaults faults = {
      {FaultKind::kMismatch, kTr, kTd, 3, 3},
      {FaultKind::kMismatch, kForm, kTable, 5, 1},
      {FaultKind::kUnexpected, kTd, -1, 6, 0},
      {FaultKind::kMissing, -1, kTr, 12, 12},
  };
  std::string said;
  FileReport report("t.htm");
  report.capture = &said;
  sayFaults(faults, report);
  EXPECT_EQ(said,
            "t.htm\n"
            "-> Nesting Error Line 3: </tr> instead of </td> ( <td> on line "
            "3)\n"
            "-> Nesting Error Line 5: </form> instead of </table> ( <table> "
            "on line 1)\n"
            "-> Nesting Error Line 6: unexpected </td>\n"
            "-> Nesting Error: missing </tr> ( <tr> on line 12)\n");
}

TEST(RunTypes, NoFaultsNoNameLine) {
  std::string said;
  FileReport report("t.htm");
  report.capture = &said;
  sayFaults({}, report);
  EXPECT_EQ(said, "");
}

}  // namespace
}  // namespace tagfmt

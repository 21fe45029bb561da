// tagfmt's messages for each kind of job result, word for word.
#include "driver/job_messages.h"

#include <gtest/gtest.h>

namespace tagfmt {
namespace {

constexpr int kTable = 0, kTr = 1, kTd = 3, kForm = 4;

JobResult resultOf(JobRead read, TextOutcome outcome, JobWrite write,
                   const char* path = "t.htm") {
  JobResult result;
  result.path = path;
  result.read = read;
  result.outcome = outcome;
  result.write = write;
  result.backupPath = "t.bak";
  return result;
}

TEST(JobMessages, EveryResult) {
  constexpr JobRead kOk = JobRead::kOk;
  constexpr TextOutcome kChanged = TextOutcome::kChanged;
  const struct {
    JobResult result;
    const char* said;
  } cases[] = {
      {resultOf(JobRead::kCannotOpen, kChanged, JobWrite::kNone),
       "-> cannot open\n"},
      {resultOf(JobRead::kCannotRead, kChanged, JobWrite::kNone),
       "-> cannot read\n"},
      {resultOf(JobRead::kNoMemory, kChanged, JobWrite::kNone),
       "-> no memory\n"},
      {resultOf(kOk, TextOutcome::kTidy, JobWrite::kNone), ""},
      {resultOf(kOk, TextOutcome::kTooLarge, JobWrite::kNone),
       "-> no memory\n"},
      {resultOf(kOk, TextOutcome::kHasNul, JobWrite::kNone),
       "t.htm\n-> contains a NUL byte, not changed\n"},
      {resultOf(kOk, TextOutcome::kFaults, JobWrite::kNone), "t.htm\n"},
      {resultOf(kOk, kChanged, JobWrite::kRefused), "t.htm\n-> failed\n"},
      {resultOf(kOk, kChanged, JobWrite::kCutShort), "t.htm\n-> cannot read\n"},
      {resultOf(kOk, kChanged, JobWrite::kBackupFailed),
       "t.htm\n   writing t.bak\n-> failed\n"},
      {resultOf(kOk, kChanged, JobWrite::kFailed),
       "t.htm\n   writing t.bak\n   writing t.htm\n-> failed\n"},
      {resultOf(kOk, kChanged, JobWrite::kWritten),
       "t.htm\n   writing t.bak\n   writing t.htm\n"},
      // A name that could forge lines or drive the terminal is escaped in
      // every line that prints it.
      {resultOf(kOk, kChanged, JobWrite::kWritten,
                "a\n   writing a.bak\n\x1b[2J.htm"),
       "$'a\\n   writing a.bak\\n\\x1b[2J.htm'\n   writing t.bak\n"
       "   writing $'a\\n   writing a.bak\\n\\x1b[2J.htm'\n"},
  };
  int i = 0;
  for (const auto& c : cases) {
    EXPECT_EQ(jobMessages(c.result), c.said) << "case " << i++;
  }
}

TEST(JobMessages, NestingFaultsWordForWord) {
  JobResult result =
      resultOf(JobRead::kOk, TextOutcome::kFaults, JobWrite::kNone);
  result.faults = {
      {FaultKind::kMismatch, kTr, kTd, 3, 3},
      {FaultKind::kMismatch, kForm, kTable, 5, 1},
      {FaultKind::kUnexpected, kTd, -1, 6, 0},
      {FaultKind::kMissing, -1, kTr, 12, 12},
  };
  EXPECT_EQ(jobMessages(result),
            "t.htm\n"
            "-> Nesting Error Line 3: </tr> instead of </td> ( <td> on line "
            "3)\n"
            "-> Nesting Error Line 5: </form> instead of </table> ( <table> "
            "on line 1)\n"
            "-> Nesting Error Line 6: unexpected </td>\n"
            "-> Nesting Error: missing </tr> ( <tr> on line 12)\n");
}

}  // namespace
}  // namespace tagfmt

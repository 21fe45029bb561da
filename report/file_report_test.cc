// The report value as each emitter words it: the outcomes every front end
// must say alike, and the reasons a job's result gives.
#include "report/file_report.h"

#include <gtest/gtest.h>

#include "driver/job_messages.h"
#include "report/check_output.h"
#include "report/line_diff.h"
#include "report/messages.h"

namespace tagfmt {
namespace {

constexpr const char kInternal[] =
    "internal error: tidying would change the page's content, not changed";

TEST(Report, EveryEmitterRefusesAnInternalError) {
  FileReport report;
  report.path = "p.htm";
  report.outcome = TextOutcome::kInternalError;
  EXPECT_EQ(verdictOf(report), FileVerdict::kInternalError);
  EXPECT_TRUE(isRefused(verdictOf(report)));
  EXPECT_EQ(tagfmtLines(report), std::string("p.htm\n-> ") + kInternal + "\n");
  const std::vector<TextMessage> page = pageMessages(report);
  ASSERT_EQ(page.size(), 2u);
  EXPECT_EQ(page[1].text,
            "   please report this page to tagfmt's developers\n");
  EXPECT_EQ(problemLines("p", report, false),
            std::string("p: ") + kInternal + "\n");
  EXPECT_EQ(githubLines("p", report, false),
            std::string("::error file=p::") + kInternal + "\n");
  EXPECT_EQ(fileJson("p", report)["message"], "internal error");
  EXPECT_EQ(whyNotFormatted(report),
            std::string(kInternal) +
                "; please report this page to tagfmt's developers");
  Tally tally;
  count(tally, verdictOf(report));
  EXPECT_EQ(tally.refused, 1u);
}

TEST(Report, AJobsResultGivesAReasonWhereTheSystemGaveNone) {
  const struct {
    JobRead read;
    JobWrite write;
    int osError;
    FileVerdict verdict;
    const char* reason;
  } cases[] = {
      {JobRead::kCannotOpen, JobWrite::kNone, 0, FileVerdict::kCannotOpen,
       "not a regular file"},
      {JobRead::kCannotOpen, JobWrite::kNone, 2, FileVerdict::kCannotOpen, ""},
      {JobRead::kCannotRead, JobWrite::kNone, 0, FileVerdict::kCannotRead,
       "it changed while it was read"},
      {JobRead::kOk, JobWrite::kBackupFailed, 0, FileVerdict::kCannotWrite,
       "the backup could not be written"},
      {JobRead::kOk, JobWrite::kRefused, 0, FileVerdict::kCannotWrite,
       "it changed since it was read"},
      {JobRead::kOk, JobWrite::kFailed, 28, FileVerdict::kCannotWrite, ""},
      {JobRead::kOk, JobWrite::kWritten, 0, FileVerdict::kTidied, ""},
  };
  for (const auto& c : cases) {
    JobResult result;
    result.read = c.read;
    result.outcome = TextOutcome::kChanged;
    result.write = c.write;
    result.osError = c.osError;
    const FileReport report = jobReport(result);
    EXPECT_EQ(verdictOf(report), c.verdict) << c.reason;
    EXPECT_EQ(report.reason, c.reason) << c.reason;
  }
}

TEST(LineDiff, ManyRunsPastTheBoundBecomeOneEdit) {
  const std::string before = "a\nx\nb\nx\nc\nx\nd\n";
  const std::string after = "a\ny\nb\ny\nc\ny\nd\n";
  ASSERT_EQ(lineEdits(before, after).size(), 3u);
  const std::vector<LineEdit> edits = lineEdits(before, after, 4);
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(edits[0], (LineEdit{2, 12, "y\nb\ny\nc\ny\n"}));
}

}  // namespace
}  // namespace tagfmt

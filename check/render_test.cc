// What tagfmt-check says about a file in each mode and format.
#include "check/render.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace tagfmt {
namespace {

FileReport readAs(ReadStatus read, int osError = 0) {
  FileReport report;
  report.read = read;
  report.osError = osError;
  return report;
}

FileReport decidedAs(TextOutcome outcome,
                     WriteStatus write = WriteStatus::kNone, int osError = 0) {
  FileReport report;
  report.outcome = outcome;
  report.write = write;
  report.osError = osError;
  return report;
}

// A file refused for one fault, with a note on it and one on no fault.
FileReport faulty() {
  FileReport check = decidedAs(TextOutcome::kFaults);
  check.faults = {{FaultKind::kMissing, -1, 0, 7, 7}};
  Note onFault;
  onFault.kind = NoteKind::kSelfClosed;
  onFault.line = 2;
  onFault.name = "td";
  onFault.fault = 0;
  Note onNone;
  onNone.kind = NoteKind::kDeclaration;
  onNone.line = 1;
  onNone.toEnd = true;
  check.notes = {onNone, onFault};
  return check;
}

FileReport untidy() {
  FileReport check = decidedAs(TextOutcome::kChanged);
  check.tidied = "b\r\n";
  return check;
}

const char kFaultLines[] =
    "p:7: nesting error: missing </table>\n"
    "p:2: note: <td> on line 2 is written self-closed (\"/>\"), and a "
    "recognised tag counts as opened even then\n"
    "p:1: note: the declaration on line 1 runs on to the end of the file, "
    "since no \"->\" follows it, and the tags after it are not seen\n";

TEST(RenderFile, EveryModeAndState) {
  const std::string faults = kFaultLines;
  const struct {
    const char* name;
    FileReport check;
    OutputMode mode;
    std::string out;
    std::string err;
  } cases[] = {
      {"tidy", decidedAs(TextOutcome::kTidy), OutputMode::kCheck, "", ""},
      {"untidy", untidy(), OutputMode::kCheck, "p: would be tidied\n", ""},
      {"tidied", decidedAs(TextOutcome::kChanged, WriteStatus::kWritten),
       OutputMode::kFix, "p: tidied\n", ""},
      {"faults", faulty(), OutputMode::kCheck, faults, ""},
      {"faults, -l", faulty(), OutputMode::kList, "", faults},
      {"untidy, -l", untidy(), OutputMode::kList, "p\n", ""},
      {"untidy, --diff", untidy(), OutputMode::kDiff,
       "--- a/p\n+++ b/p\n@@ -1,1 +1,1 @@\n-a\n+b\r\n", ""},
      {"untidy, --stdout", untidy(), OutputMode::kStdout, "b\r\n", ""},
      {"tidy, --stdout", decidedAs(TextOutcome::kTidy), OutputMode::kStdout,
       "a\n", ""},
      {"faults, --stdout", faulty(), OutputMode::kStdout, "", faults},
      {"missing", readAs(ReadStatus::kCannotOpen, ENOENT), OutputMode::kCheck,
       "p: cannot open: No such file or directory\n", ""},
      {"unreadable", readAs(ReadStatus::kCannotRead, EIO), OutputMode::kDiff,
       "", "p: cannot read: Input/output error\n"},
      {"unwritable",
       decidedAs(TextOutcome::kChanged, WriteStatus::kFailed, ENOSPC),
       OutputMode::kFix, "p: cannot write: No space left on device\n", ""},
      {"NUL byte", decidedAs(TextOutcome::kHasNul), OutputMode::kCheck,
       "p: contains a NUL byte, not checked\n", ""},
      {"too large", readAs(ReadStatus::kTooLarge), OutputMode::kCheck,
       "p: too large, not checked (over 4 GiB)\n", ""},
      {"no memory", readAs(ReadStatus::kNoMemory), OutputMode::kCheck,
       "p: no memory, not checked\n", ""},
      {"empty folder", readAs(ReadStatus::kNothingFound), OutputMode::kList, "",
       "p: no .htm, .html, .xsl or .xslt files\n"},
  };
  for (const auto& c : cases) {
    const FileOutput output = renderFile("p", "a\n", c.check, c.mode);
    std::string said = output.out;
    writeBody(output, "a\n",
              [&said](std::string_view piece) { said += piece; });
    EXPECT_EQ(said, c.out) << c.name;
    EXPECT_EQ(output.err, c.err) << c.name;
  }
}

TEST(RenderFile, GithubAndColour) {
  RenderStyle github;
  github.format = OutputFormat::kGithub;
  EXPECT_EQ(
      renderFile("d,1/p:x%", "", faulty(), OutputMode::kCheck, github).out,
      "::error file=d%2C1/p%3Ax%25,line=7::nesting error: missing "
      "</table>\n"
      "::notice file=d%2C1/p%3Ax%25,line=2::<td> on line 2 is written "
      "self-closed (\"/>\"), and a recognised tag counts as opened even "
      "then\n"
      "::notice file=d%2C1/p%3Ax%25,line=1::the declaration on line 1 "
      "runs on to the end of the file, since no \"->\" follows it, and "
      "the tags after it are not seen\n");
  EXPECT_EQ(renderFile("p", "", untidy(), OutputMode::kCheck, github).out,
            "::error file=p::would be tidied\n");
  EXPECT_EQ(renderFile("p", "", readAs(ReadStatus::kCannotOpen, ENOENT),
                       OutputMode::kCheck, github)
                .out,
            "::error file=p::cannot open: No such file or directory\n");
  EXPECT_EQ(githubEscape("a\r\nb", false), "a%0D%0Ab");

  RenderStyle colour;
  colour.colorOut = true;
  EXPECT_EQ(renderFile("p", "", untidy(), OutputMode::kCheck, colour).out,
            "p: \033[33mwould be tidied\033[0m\n");
  EXPECT_TRUE(renderFile("p", "", faulty(), OutputMode::kCheck, colour)
                  .out.starts_with("p:7: \033[1;31mnesting error\033[0m: "));
}

// Every verdict has its one state code; the phrase stays as "message".
TEST(RenderFile, JsonStatesAndSummary) {
  const struct {
    FileReport report;
    const char* state;
    const char* message;
  } cases[] = {
      {decidedAs(TextOutcome::kTidy), "tidy", "tidy"},
      {untidy(), "would-tidy", "would be tidied"},
      {decidedAs(TextOutcome::kChanged, WriteStatus::kWritten), "tidied",
       "tidied"},
      {faulty(), "refused", "nesting faults"},
      {decidedAs(TextOutcome::kChanged, WriteStatus::kFailed, EIO), "refused",
       "cannot write"},
      {decidedAs(TextOutcome::kHasNul), "refused", "NUL byte"},
      {decidedAs(TextOutcome::kTooLarge), "refused", "no memory"},
      {decidedAs(TextOutcome::kInternalError), "refused", "internal error"},
      {readAs(ReadStatus::kTooLarge), "refused", "too large"},
      {readAs(ReadStatus::kCannotOpen, ENOENT), "unreadable", "cannot open"},
      {readAs(ReadStatus::kCannotRead, EIO), "unreadable", "cannot read"},
      {readAs(ReadStatus::kNotAPage), "not-a-page", "not a page"},
      {readAs(ReadStatus::kNothingFound), "not-a-page", "nothing found"},
  };
  for (const auto& c : cases) {
    const Json file = fileJson("p", c.report);
    EXPECT_EQ(file["state"], c.state) << c.message;
    EXPECT_EQ(file["message"], c.message);
    EXPECT_EQ(file.contains("reason"), !whyNotChecked(c.report).empty())
        << c.message;
  }
  EXPECT_EQ(fileJson("p", readAs(ReadStatus::kCannotOpen, ENOENT))["reason"],
            "cannot open: No such file or directory");
  Tally tally;
  for (const FileVerdict state :
       {FileVerdict::kTidy, FileVerdict::kWouldTidy, FileVerdict::kFaults,
        FileVerdict::kNothingFound}) {
    count(tally, state);
  }
  EXPECT_EQ(summaryLine(tally, false),
            "1 file would be tidied, 2 refused, 1 tidy\n");
  EXPECT_EQ(summaryLine(tally, true), "1 file tidied, 2 refused, 1 tidy\n");
  EXPECT_EQ(jsonText(checkJson(Json::array(), tally)),
            R"({"version":1,"files":[],)"
            R"("summary":{"changed":1,"refused":2,"tidy":1}})");
}

}  // namespace
}  // namespace tagfmt

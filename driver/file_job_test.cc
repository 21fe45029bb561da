// Backup naming, and the job's check mode on real files.
#include "driver/file_job.h"

#include <gtest/gtest.h>

#include "tests/test_util.h"

namespace tagfmt {
namespace {

TEST(BackupName, ReplacesTheExtensionOfTheFinalComponent) {
  const struct {
    const char* path;
    const char* backup;
  } cases[] = {
      {"page.htm", "page.bak"},
      {"page.xsl", "page.bak"},
      {"a.b.xsl", "a.b.bak"},
      {"dir.old/page", "dir.old/page.bak"},
      {"dir.old/page.htm", "dir.old/page.bak"},
      {"./page", "./page.bak"},
      {"noext", "noext.bak"},
      {"x.bak", "x.bak"},  // the job then appends instead
      {"page.", "page.bak"},
      {"/abs/dir/p.html", "/abs/dir/p.bak"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(backupNameFor(c.path), c.backup) << c.path;
  }
}

TEST(CheckJob, ReadsAndDecidesAndWritesNothing) {
  testing::ScratchDir dir;
  const struct {
    const char* name;
    std::string bytes;
    bool missing;
    JobRead read;
    TextOutcome outcome;
    std::string tidied;
    std::size_t notes;
    std::int64_t openCount;
  } cases[] = {
      {"tidy.htm", "<table>\r\n  <tr>\r\n  </tr></table>", false, JobRead::kOk,
       TextOutcome::kTidy, "", 0, 2},
      {"untidy.htm", "<table>\n<tr>\n</tr></table>", false, JobRead::kOk,
       TextOutcome::kChanged, "<table>\r\n  <tr>\r\n  </tr></table>", 0, 2},
      {"faults.htm", "<table>\n<td/>\n</table>\n", false, JobRead::kOk,
       TextOutcome::kFaults, "", 1, 2},
      {"nul.htm", std::string("<p>\0x", 5), false, JobRead::kOk,
       TextOutcome::kHasNul, "", 0, 0},
      {"missing.htm", "", true, JobRead::kCannotOpen, TextOutcome::kTidy, "", 0,
       0},
  };
  for (const auto& c : cases) {
    if (!c.missing) testing::writeFile(dir / c.name, c.bytes);
    FileBytes bytes;
    const JobResult result = checkJob(dir / c.name, {}, 0, bytes, true);
    EXPECT_EQ(result.read, c.read) << c.name;
    EXPECT_EQ(result.outcome, c.outcome) << c.name;
    EXPECT_EQ(result.tidied, c.tidied) << c.name;
    EXPECT_EQ(result.notes.size(), c.notes) << c.name;
    EXPECT_EQ(result.openCount, c.openCount) << c.name;
    EXPECT_EQ(result.write, JobWrite::kNone) << c.name;
    if (!c.missing) {
      EXPECT_EQ(testing::readFile(dir / c.name), c.bytes) << c.name;
      // The bytes read stay with the caller, up to a NUL byte.
      EXPECT_TRUE(c.bytes.starts_with(bytes.view())) << c.name;
    }
  }
}

}  // namespace
}  // namespace tagfmt

// Backup naming.
#include "driver/file_job.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tagfmt
